#include "test_support.h"

#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <stdexcept>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace zandrex::test {

TempDir::TempDir() {
  std::string tmpl = (fs::temp_directory_path() / "zandrex-test-XXXXXX").string();
  if (!mkdtemp(tmpl.data()))
    throw std::runtime_error("mkdtemp failed");
  path_ = tmpl + "/";
}

namespace {

// The first subfolder of folderFd, after removing every other entry; "" when none is left.
std::string clearFilesUntilSubfolder(int folderFd) {
  // Tests may leave read-only folders behind.
  ::fchmod(folderFd, 0700);
  DIR* dir = ::fdopendir(::dup(folderFd));
  if (!dir)
    return {};
  std::string subfolder;
  while (dirent* entry = ::readdir(dir)) {
    const std::string name = entry->d_name;
    if (name == "." || name == "..")
      continue;
    if (entry->d_type == DT_DIR) {
      subfolder = name;
      break;
    }
    ::unlinkat(folderFd, name.c_str(), 0);
  }
  ::closedir(dir);
  return subfolder;
}

// Removes a tree of any depth, holding one folder descriptor at a time.
void removeTree(const std::string& top) {
  UniqueFd at(::open(top.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  std::vector<std::string> below;
  while (at.valid()) {
    const std::string sub = clearFilesUntilSubfolder(at.get());
    if (!sub.empty()) {
      below.push_back(sub);
      at = UniqueFd(::openat(at.get(), sub.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW));
      continue;
    }
    if (below.empty())
      break;
    UniqueFd parent(::openat(at.get(), "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    ::unlinkat(parent.get(), below.back().c_str(), AT_REMOVEDIR);
    below.pop_back();
    at = std::move(parent);
  }
  ::rmdir(top.c_str());
}

} // namespace

TempDir::~TempDir() {
  removeTree(path_);
}

UniqueFd makeFolderChain(const std::string& top, const std::string& name, std::size_t levels) {
  UniqueFd at(::open(top.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
  for (std::size_t i = 0; i < levels && at.valid(); ++i) {
    ::mkdirat(at.get(), name.c_str(), 0700);
    at = UniqueFd(::openat(at.get(), name.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
  }
  return at;
}

void writeIn(int folderFd, const std::string& name, const std::string& content) {
  UniqueFd fd(::openat(folderFd, name.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600));
  ASSERT_TRUE(fd.valid()) << name;
  ASSERT_EQ(::write(fd.get(), content.data(), content.size()),
            static_cast<ssize_t>(content.size()));
}

bool existsIn(int folderFd, const std::string& name) {
  struct stat st;
  return ::fstatat(folderFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
}

std::string TempDir::write(const std::string& relative, const std::string& content) const {
  fs::path full = fs::path(path_) / relative;
  fs::create_directories(full.parent_path());
  std::ofstream out(full, std::ios::binary);
  out << content;
  return full.string();
}

void TempDir::writeEach(std::initializer_list<std::string> relatives,
                        const std::string& content) const {
  for (const std::string& relative : relatives)
    write(relative, content);
}

std::string TempDir::mkdir(const std::string& relative) const {
  fs::path full = fs::path(path_) / relative;
  fs::create_directories(full);
  std::string text = full.string();
  return text.back() == '/' ? text : text + "/";
}

void TempDir::setMtime(const std::string& relative, std::int64_t seconds) const {
  struct timespec times[2] = {{static_cast<time_t>(seconds), 0}, {static_cast<time_t>(seconds), 0}};
  utimensat(AT_FDCWD, (fs::path(path_) / relative).c_str(), times, AT_SYMLINK_NOFOLLOW);
}

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

ino_t inodeOf(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0 ? st.st_ino : 0;
}

ScopedEnv::ScopedEnv(const char* name, const std::string& value) : name_(name) {
  if (const char* old = std::getenv(name))
    old_ = old;
  ::setenv(name, value.c_str(), 1);
}

ScopedEnv::~ScopedEnv() {
  if (old_)
    ::setenv(name_, old_->c_str(), 1);
  else
    ::unsetenv(name_);
}

} // namespace zandrex::test

namespace {
// Error reports, settings and remembered digests written by tests land in a throw-away home,
// never the user's.
std::string& isolatedHome() {
  static std::string home;
  return home;
}
const bool kIsolatedHome = [] {
  std::string tmpl = (fs::temp_directory_path() / "zandrex-home-XXXXXX").string();
  if (!mkdtemp(tmpl.data()))
    return false;
  isolatedHome() = tmpl;
  setenv("HOME", tmpl.c_str(), 1);
  unsetenv("XDG_CONFIG_HOME");
  unsetenv("XDG_CACHE_HOME");
  std::atexit([] {
    std::error_code ec;
    fs::remove_all(isolatedHome(), ec);
  });
  return true;
}();
} // namespace
