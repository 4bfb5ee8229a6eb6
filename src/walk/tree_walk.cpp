#include "walk/tree_walk.h"

#include "errors/app_error.h"
#include "errors/err_trap.h"

#include <algorithm>
#include <cerrno>
#include <numeric>

namespace zandrex {

namespace {

// A report parameter read when an error is reported, not when the trap is set: the folder being
// listed at that moment.
template <typename Read> struct ReadWhenReported {
  Read read;
  operator std::string_view() const { return read(); }
};
template <typename Read> ReadWhenReported(Read) -> ReadWhenReported<Read>;

// Running out of descriptors or memory is an error, not a folder that cannot be listed: that
// folder would otherwise vanish from the result without a word.
void raiseIfExhausted(int error) {
  if (isResourceExhaustion(error))
    raiseSystemError(error);
}

// Folder descriptors the walk keeps open down its stack; deeper ancestors are reopened.
constexpr std::size_t kHeldFolders = 64;

} // namespace

void TreeWalk::run(const SourceAnchor& source, std::string_view sourceText,
                   std::string_view topName, FolderTable& folders, WalkSink& sink,
                   const ScanFilter& filter) {
  const WalkRoot root{sourceText, topName, "", source.identity()};
  run(source, std::span(&root, 1), folders, sink, filter);
}

void TreeWalk::run(const SourceAnchor& anchor, std::span<const WalkRoot> roots,
                   FolderTable& folders, WalkSink& sink, const ScanFilter& filter) {
  folders.clear();
  entered_.clear();
  passages_.clear();
  depth_ = 0;
  path_.clear();
  // However the walk ends: after running out of descriptors, the error report needs some. The
  // worker first lets go of the folder it stats in.
  struct GiveHandlesBack {
    std::deque<Frame>& frames;
    StatAhead& statAhead;
    ~GiveHandlesBack() {
      statAhead.stop();
      for (Frame& frame : frames)
        frame.fd.reset();
    }
  } giveHandlesBack{frames_, statAhead_};
  const ReadWhenReported currentName{[this]() -> std::string_view {
    return depth_ > 0 ? std::string_view(frames_[depth_ - 1].name) : std::string_view();
  }};
  const ReadWhenReported currentPath{[this]() -> std::string_view {
    return std::string_view(path_).substr(0, depth_ > 0 ? frames_[depth_ - 1].pathLength : 0);
  }};
  trapInner(
      "mScanCD.ShowDir3_FillPreview(pParentName,sParentPath)",
      [&] {
        folders.add(kNoFolder, "", anchor.identity());
        for (const WalkRoot& root : roots) {
          if (sink.cancelled())
            return;
          enterRoot(anchor, root, folders, filter);
          while (depth_ > 0) {
            if (sink.cancelled())
              return;
            step(folders, sink, filter);
          }
        }
      },
      currentName, currentPath);
}

void TreeWalk::enterRoot(const SourceAnchor& anchor, const WalkRoot& root, FolderTable& folders,
                         const ScanFilter& filter) {
  if (entered_.contains(root.identity))
    return;
  const std::size_t lastSlash = root.below.rfind('/');
  const std::string_view between =
      lastSlash == std::string_view::npos ? std::string_view() : root.below.substr(0, lastSlash);
  const std::string ownName(
      root.below.substr(lastSlash == std::string_view::npos ? 0 : lastSlash + 1));
  // The folders on the way are passed, not listed: the user may have the right to pass alone.
  FolderId parent = kSourceFolder;
  UniqueFd passed;
  std::string name;
  for (std::size_t from = 0; from < between.size();) {
    const std::size_t end = std::min(between.find('/', from), between.size());
    name.assign(between.substr(from, end - from));
    from = end + 1;
    UniqueFd next = openPassage(passed.valid() ? passed.get() : anchor.fd(), name.c_str());
    FileStatus status;
    if (!next.valid() || !statOpen(next.get(), status)) {
      raiseIfExhausted(errno);
      return;
    }
    parent = recordPassage(parent, name, status.identity, folders);
    if (parent == kNoFolder)
      return;
    passed = std::move(next);
  }
  // A description of its own: listing moves the offset, which the anchor's must keep.
  const int parentFd = passed.valid() ? passed.get() : anchor.fd();
  UniqueFd fd = openSubfolder(parentFd, ownName.empty() ? "." : ownName.c_str());
  FileStatus status;
  if (!fd.valid() || !statOpen(fd.get(), status)) {
    raiseIfExhausted(errno);
    return;
  }
  // Replaced since it was chosen: what is there now was not asked for.
  if (status.identity != root.identity || !entered_.insert(status.identity).second)
    return;
  const FolderId folder =
      ownName.empty() ? kSourceFolder : recordPassage(parent, ownName, status.identity, folders);
  if (folder == kNoFolder)
    return;
  path_.assign(root.text);
  enter(std::move(fd), folder, root.topName, filter);
}

FolderId TreeWalk::recordPassage(FolderId parent, const std::string& name, FileIdentity identity,
                                 FolderTable& folders) {
  for (const Passage& passage : passages_) {
    if (passage.parent != parent || passage.name != name)
      continue;
    return folders.identity(passage.folder) == identity ? passage.folder : kNoFolder;
  }
  const FolderId folder = folders.add(parent, name, identity);
  passages_.push_back({parent, name, folder});
  return folder;
}

void TreeWalk::enter(UniqueFd fd, FolderId folder, std::string_view name,
                     const ScanFilter& filter) {
  while (frames_.size() <= depth_)
    frames_.emplace_back();
  Frame& frame = frames_[depth_];
  if (!listFolder(fd.get(), frame.listing)) {
    raiseIfExhausted(errno);
    frame.listing.clear(); // an unreadable folder contributes nothing
  }
  frame.fd = std::move(fd);
  frame.folder = folder;
  frame.pathLength = path_.size();
  frame.name.assign(name);
  frame.next = 0;
  frame.order.resize(frame.listing.size());
  std::iota(frame.order.begin(), frame.order.end(), 0u);
  const FolderListing& listing = frame.listing;
  std::sort(frame.order.begin(), frame.order.end(), [&](std::uint32_t a, std::uint32_t b) {
    return std::string_view(listing.name(a)) < std::string_view(listing.name(b));
  });
  frame.batch.reset(listing);
  frame.nextSlot = 0;
  for (std::uint32_t k : frame.order) {
    const FolderListing::Kind kind = listing.kinds[k];
    if ((kind == FolderListing::File || kind == FolderListing::Unknown) &&
        !filter.leavesOutName(listing.name(k)))
      frame.batch.add(k);
  }
  // The worker moves here from the parent's files, which wait for the walk to come back.
  statAhead_.share(frame.batch, frame.fd.get());
  ++depth_;
  // Bounded descriptors: the folder kHeldFolders above this one gives its handle back.
  if (depth_ > kHeldFolders) {
    Frame& far = frames_[depth_ - 1 - kHeldFolders];
    statAhead_.release(far.batch);
    far.fd.reset();
  }
}

void TreeWalk::leave(FolderTable& folders) {
  Frame& child = frames_[depth_ - 1];
  statAhead_.release(child.batch);
  --depth_;
  if (depth_ > 0) {
    Frame& parent = frames_[depth_ - 1];
    // Taken back even when the parent has nothing left: its own parent is reached through it.
    if (!parent.fd.valid())
      parent.fd = openParentChecked(child.fd.get(), folders.identity(parent.folder));
    if (!parent.fd.valid()) {
      raiseIfExhausted(errno);
      // A parent moved while its subfolder was walked: the rest of it cannot be reached soundly.
      parent.next = parent.order.size();
    }
    path_.resize(parent.pathLength);
    if (parent.next < parent.order.size())
      statAhead_.share(parent.batch, parent.fd.get());
  }
  child.fd.reset();
}

void TreeWalk::enterSubfolder(std::string_view name, FolderTable& folders,
                              const ScanFilter& filter) {
  Frame& parent = frames_[depth_ - 1];
  UniqueFd fd = openSubfolder(parent.fd.get(), name.data());
  if (!fd.valid()) {
    raiseIfExhausted(errno);
    return; // a link, gone, or not ours to list
  }
  FileStatus status;
  if (!statOpen(fd.get(), status))
    return;
  if (!entered_.insert(status.identity).second)
    return;
  const FolderId folder = folders.add(parent.folder, name, status.identity);
  path_.resize(parent.pathLength);
  path_.append(name);
  path_.push_back('/');
  enter(std::move(fd), folder, name, filter);
}

void TreeWalk::step(FolderTable& folders, WalkSink& sink, const ScanFilter& filter) {
  Frame& frame = frames_[depth_ - 1];
  if (frame.next >= frame.order.size()) {
    leave(folders);
    return;
  }
  const std::uint32_t k = frame.order[frame.next++];
  sink.beforeEntry();
  if (sink.cancelled())
    return;
  const std::string_view name = frame.listing.name(k);
  FolderListing::Kind kind = frame.listing.kinds[k];
  if (kind == FolderListing::Other)
    return; // links, FIFOs, sockets, devices
  if (kind == FolderListing::Folder) {
    if (name.front() == '.' || filter.leavesOutName(name.data()))
      return;
    if (sink.subfolders())
      enterSubfolder(name, folders, filter);
    return;
  }
  // The batch holds this entry unless its name is left out.
  if (frame.nextSlot >= frame.batch.size() || frame.batch.entry(frame.nextSlot) != k)
    return;
  FileStatus status;
  int error = 0;
  if (!statAhead_.take(frame.batch, frame.nextSlot++, status, error)) {
    raiseIfExhausted(error);
    return;
  }
  if (status.folder) {
    if (name.front() != '.' && sink.subfolders())
      enterSubfolder(name, folders, filter);
    return;
  }
  if (!status.regular || filter.leavesOutSize(status.size))
    return;
  sink.file({frame.name, std::string_view(path_).substr(0, frame.pathLength), name, frame.folder,
             status});
}

} // namespace zandrex
