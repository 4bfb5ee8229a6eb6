// The walk: lists the searched folder and, when asked, its subfolders, and hands every regular
// file it meets to a sink. Depth first, in name order within a folder, subfolders at the moment
// they are met: every listing is repeatable.
//
// It keeps its own stack, so a tree of any depth is walked without recursion, and holds a
// bounded number of folder descriptors whatever the depth: a deep folder's handle is given back
// and taken again through its child's "..", checked to be the same folder.
//
// Symbolic links are neither listed nor followed; folders whose names start with a dot are
// skipped; a folder already entered (bind mounts, loops) is not entered again. A folder that
// cannot be listed contributes nothing, silently, as does a file that cannot be stat'ed; running
// out of descriptors or memory is neither, and raises the system's error.
//
// The files of a folder with kStatAheadMin or more are stat'ed ahead on a worker thread
// (walk/stat_ahead.h) while the sink records the ones before them; the sink sees the same calls
// in the same order on the calling thread either way, and errors are raised there. A file is thus
// stat'ed a little before the sink is handed it, as it was always listed before: one removed in
// between may still be handed over, which the steps after the walk check anyway.
//
// Several folders are walked from one anchor, a folder holding them all: each is reached from
// it one checked name at a time, the folders passed on the way are recorded but not listed, so
// every file stays reachable from the anchor as a single folder's are. A folder met twice (given
// twice, inside another given folder, or the same one by another path) is walked once.
#pragma once

#include "platform/anchored_tree.h"
#include "walk/scan_filter.h"
#include "walk/stat_ahead.h"

#include <deque>
#include <span>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace zandrex {

// One file the walk met. The views are valid during the sink's call only.
struct WalkedFile {
  std::string_view parentName; // the name of the folder being listed ("" for a root)
  std::string_view folderPath; // the folder's text, ending with "/"
  std::string_view diskName;   // the name as found on disk
  FolderId folder;
  FileStatus status;
};

// What the walk needs from the find.
class WalkSink {
public:
  virtual ~WalkSink() = default;
  // Called before every folder entry: let pending events run.
  virtual void beforeEntry() = 0;
  // Polled right after beforeEntry(); true ends the walk at once.
  virtual bool cancelled() = 0;
  // Read anew for every subfolder met.
  virtual bool subfolders() = 0;
  virtual void file(const WalkedFile& file) = 0;
};

// A folder to walk, at or below the anchor.
struct WalkRoot {
  std::string_view text;    // its folder text, ending with "/": its files' folder texts start so
  std::string_view topName; // its own name, the parent name of the files directly in it
  std::string_view below;   // its path below the anchor, names joined by "/"; "" for the anchor
  FileIdentity identity;    // the folder found there must be this one, or it is not walked
};

class TreeWalk {
public:
  // stat: how files are stat'ed in their folder; sharedFrom: the fewest files left in a folder
  // that are stat'ed ahead on the worker (see StatAhead; tests choose other values).
  explicit TreeWalk(StatAhead::StatFunction stat = statIn, std::size_t sharedFrom = kStatAheadMin)
      : statAhead_(stat, sharedFrom) {}

  // Walks from source, whose folder text is sourceText (ending with "/") and whose own name is
  // topName. Records every folder entered in folders, the source first (kSourceFolder).
  void run(const SourceAnchor& source, std::string_view sourceText, std::string_view topName,
           FolderTable& folders, WalkSink& sink, const ScanFilter& filter = {});
  // Walks each root in the given order, skipping one whose folder was already entered. Records
  // the anchor first (kSourceFolder), then every folder passed or entered. A root that cannot
  // be reached, or is no longer the folder of its identity, contributes nothing.
  void run(const SourceAnchor& anchor, std::span<const WalkRoot> roots, FolderTable& folders,
           WalkSink& sink, const ScanFilter& filter = {});

private:
  struct Frame {
    UniqueFd fd;
    FolderId folder = kNoFolder;
    std::size_t pathLength = 0; // of path_, up to and with this folder's "/"
    std::string name;
    FolderListing listing;
    std::vector<std::uint32_t> order;
    std::size_t next = 0;
    // The entries of order to stat (files, and entries of unknown kind, not left out by name).
    StatAhead::Batch batch;
    std::size_t nextSlot = 0;
  };

  // A folder recorded on the way from the anchor to a root, found again for the next root.
  struct Passage {
    FolderId parent;
    std::string name;
    FolderId folder;
  };

  void enterRoot(const SourceAnchor& anchor, const WalkRoot& root, FolderTable& folders,
                 const ScanFilter& filter);
  // The folder recorded for name in parent, recorded now when it was not; kNoFolder when the
  // one recorded is not the folder with identity (replaced between two roots).
  FolderId recordPassage(FolderId parent, const std::string& name, FileIdentity identity,
                         FolderTable& folders);
  void step(FolderTable& folders, WalkSink& sink, const ScanFilter& filter);
  void enter(UniqueFd fd, FolderId folder, std::string_view name, const ScanFilter& filter);
  void enterSubfolder(std::string_view name, FolderTable& folders, const ScanFilter& filter);
  void leave(FolderTable& folders);

  // Frames are kept for reuse: their listings' memory serves the next folder at that depth. A
  // deque, so that growing never moves the parent frame whose names are being entered.
  std::deque<Frame> frames_;
  std::size_t depth_ = 0; // frames in use
  std::string path_;
  std::unordered_set<FileIdentity, FileIdentityHash> entered_;
  std::vector<Passage> passages_;
  StatAhead statAhead_;
};

} // namespace zandrex
