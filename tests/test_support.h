// Shared test helpers: temporary folder trees.
#pragma once

#include "platform/unique_fd.h"

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <sys/types.h>

namespace zandrex::test {

// A fresh temporary folder, removed with everything in it at destruction.
class TempDir {
public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  // The folder's path with a trailing "/".
  const std::string& path() const { return path_; }
  // Writes a file (creating missing folders) and returns its full path.
  std::string write(const std::string& relative, const std::string& content) const;
  // Writes every file with the same content.
  void writeEach(std::initializer_list<std::string> relatives, const std::string& content) const;
  // Creates a folder (and missing parents) and returns its path with a trailing "/".
  std::string mkdir(const std::string& relative) const;
  // Sets a file's modification time (seconds since the epoch).
  void setMtime(const std::string& relative, std::int64_t seconds) const;

private:
  std::string path_;
};

std::string readFile(const std::string& path);
// The inode of path itself (a link is not followed); 0 when there is nothing there.
ino_t inodeOf(const std::string& path);

// Sets an environment variable for its own life and puts the old value (or its absence) back.
class ScopedEnv {
public:
  ScopedEnv(const char* name, const std::string& value);
  ~ScopedEnv();
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
  const char* name_;
  std::optional<std::string> old_;
};

// Creates levels nested folders called name below top and returns a handle of the deepest: trees
// whose paths no system call could take.
UniqueFd makeFolderChain(const std::string& top, const std::string& name, std::size_t levels);
void writeIn(int folderFd, const std::string& name, const std::string& content);
bool existsIn(int folderFd, const std::string& name);

} // namespace zandrex::test
