#include "platform/fd_output_buffer.h"
#include "platform/platform.h"
#include "platform/unique_fd.h"
#include "platform/whole_file.h"

#include <cerrno>
#include <fcntl.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

namespace zandrex {

namespace {

// New files get what the user's umask leaves of these.
constexpr mode_t kNewFileMode = 0666;
constexpr mode_t kPermissionBits = 07777;
// Tries at a free temporary name before giving up (another writer racing for the same names).
constexpr int kTemporaryNameTries = 16;

std::string reasonOf(int error) {
  const std::string message = platform::systemMessage(static_cast<std::uint32_t>(error));
  return message.empty() ? "error " + std::to_string(error) : message;
}

std::string temporaryName(const std::string& name) {
  static std::minstd_rand numbers{std::random_device{}()};
  return "." + name + "." + std::to_string(numbers()) + ".part";
}

// A temporary file's name, removed at the end of its scope unless it was renamed: a failure, or
// an exception from the caller's writer, leaves nothing behind.
struct TemporaryName {
  int folder;
  std::string name;
  bool renamed = false;
  ~TemporaryName() {
    if (!renamed)
      ::unlinkat(folder, name.c_str(), 0);
  }
};

// Everything after the temporary file was created: write, sync, close, rename. An errno, 0 when
// done.
int writeAndRename(TemporaryName& temporary, UniqueFd file, const std::string& name,
                   const std::function<void(std::ostream&)>& write) {
  const int folder = temporary.folder;
  struct stat existing;
  if (::fstatat(folder, name.c_str(), &existing, AT_SYMLINK_NOFOLLOW) == 0 &&
      S_ISREG(existing.st_mode) && ::fchmod(file.get(), existing.st_mode & kPermissionBits) != 0)
    return errno;
  {
    FdOutputBuffer buffer(file.get());
    std::ostream stream(&buffer);
    write(stream);
    stream.flush();
    if (buffer.error() != 0)
      return buffer.error();
    if (!stream)
      return EIO;
  }
  if (::fsync(file.get()) != 0)
    return errno;
  if (::close(file.release()) != 0)
    return errno;
  if (::renameat(folder, temporary.name.c_str(), folder, name.c_str()) != 0)
    return errno;
  temporary.renamed = true;
  return 0;
}

} // namespace

std::string writeWholeFile(const std::string& path,
                           const std::function<void(std::ostream&)>& write) {
  const std::size_t slash = path.rfind('/');
  const std::string folderPath =
      slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  if (name.empty() || name == "." || name == "..")
    return reasonOf(EISDIR);
  const UniqueFd folder(::open(folderPath.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!folder.valid())
    return reasonOf(errno);
  for (int attempt = 0; attempt < kTemporaryNameTries; ++attempt) {
    const std::string candidate = temporaryName(name);
    UniqueFd file(::openat(folder.get(), candidate.c_str(),
                           O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, kNewFileMode));
    if (!file.valid() && errno == EEXIST)
      continue;
    if (!file.valid())
      return reasonOf(errno);
    TemporaryName temporary{folder.get(), candidate};
    const int error = writeAndRename(temporary, std::move(file), name, write);
    return error == 0 ? std::string() : reasonOf(error);
  }
  return reasonOf(EEXIST);
}

} // namespace zandrex
