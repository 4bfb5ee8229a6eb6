#include "test_support.h"

#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <sys/stat.h>
#include <sys/time.h>

namespace fs = std::filesystem;

namespace zandrex::test {

TempDir::TempDir() {
  std::string tmpl = (fs::temp_directory_path() / "zandrex-test-XXXXXX").string();
  if (!mkdtemp(tmpl.data()))
    throw std::runtime_error("mkdtemp failed");
  path_ = tmpl + "/";
}

TempDir::~TempDir() {
  std::error_code ec;
  // Tests may leave read-only folders behind; open them up so removal succeeds.
  for (auto it = fs::recursive_directory_iterator(path_, ec); !ec && it != fs::end(it);
       it.increment(ec)) {
    if (it->is_directory(ec) && !it->is_symlink(ec))
      fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
  }
  fs::remove_all(path_, ec);
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

} // namespace zandrex::test

namespace {
// Error reports and settings written by tests land in a throw-away home, never the user's.
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
  std::atexit([] {
    std::error_code ec;
    fs::remove_all(isolatedHome(), ec);
  });
  return true;
}();
} // namespace
