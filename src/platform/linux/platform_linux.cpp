// The platform layer on Linux: POSIX calls, /proc and the XDG and os-release files.
#include "platform/linux/linux_text.h"
#include "platform/platform.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <limits>
#include <pwd.h>
#include <sstream>
#include <sys/resource.h>
#include <sys/utsname.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace zandrex::platform {

namespace {

constexpr const char* kSelfExe = "/proc/self/exe";
constexpr const char* kUserDirsFile = "/user-dirs.dirs";
constexpr const char* kDefaultConfigFolder = "/.config";
constexpr const char* kDefaultDocumentsFolder = "/Documents";
constexpr const char* kDefaultCacheFolder = "/.cache";
// os-release lives in /etc, with the vendor's copy as the documented fallback.
constexpr const char* kOsReleaseFiles[] = {"/etc/os-release", "/usr/lib/os-release"};
constexpr const char* kPrettyNameKey = "PRETTY_NAME";
constexpr std::size_t kMessageBufferSize = 512;
constexpr std::size_t kHostNameBufferSize = 256;

bool readWholeFile(const std::string& path, std::string& text) {
  std::ifstream in(path, std::ios::binary);
  if (!in)
    return false;
  std::ostringstream buffer;
  buffer << in.rdbuf();
  text = buffer.str();
  return true;
}

std::string withoutTrailingSlash(std::string path) {
  while (path.size() > 1 && path.back() == '/')
    path.pop_back();
  return path;
}

std::string environmentValue(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

// strerror_r comes in two shapes; each overload takes what its shape returns.
[[maybe_unused]] const char* messageFrom(int result, const char* buffer) {
  return result == 0 ? buffer : "";
}
[[maybe_unused]] const char* messageFrom(const char* result, const char*) {
  return result ? result : "";
}

} // namespace

std::string computerName() {
  char buffer[kHostNameBufferSize] = {};
  if (gethostname(buffer, sizeof buffer - 1) != 0)
    return {};
  return buffer;
}

std::string systemMessage(std::uint32_t code) {
  if (code == 0 || code > static_cast<std::uint32_t>(std::numeric_limits<int>::max()))
    return {};
  const int value = static_cast<int>(code);
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 32))
  // glibc invents "Unknown error N" for codes it does not know; the contract wants "" there.
  if (strerrordesc_np(value) == nullptr)
    return {};
#endif
  char buffer[kMessageBufferSize] = {};
  return messageFrom(strerror_r(value, buffer, sizeof buffer), buffer);
}

std::string executablePath() {
  std::vector<char> buffer(PATH_MAX);
  for (;;) {
    const ssize_t length = readlink(kSelfExe, buffer.data(), buffer.size());
    if (length < 0)
      return {};
    if (static_cast<std::size_t>(length) < buffer.size())
      return std::string(buffer.data(), static_cast<std::size_t>(length));
    buffer.resize(buffer.size() * 2);
  }
}

std::string executableFolder() {
  const std::string path = executablePath();
  const auto slash = path.rfind('/');
  if (slash == std::string::npos)
    return {};
  if (slash == 0)
    return "/";
  return path.substr(0, slash);
}

std::string executableName() {
  const std::string path = executablePath();
  std::string name = path.substr(path.rfind('/') + 1);
  const auto point = name.rfind('.');
  if (point != std::string::npos && point > 0)
    name.erase(point);
  return name;
}

std::string homeFolder() {
  std::string home = environmentValue("HOME");
  if (home.empty()) {
    long size = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? static_cast<std::size_t>(size) : 16384);
    passwd entry{};
    passwd* found = nullptr;
    if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found &&
        found->pw_dir)
      home = found->pw_dir;
  }
  home = withoutTrailingSlash(home);
  return home == "/" ? std::string() : home;
}

std::string documentsFolder() {
  const std::string home = homeFolder();
  std::string config = environmentValue("XDG_CONFIG_HOME");
  // The XDG rules ignore a relative XDG_CONFIG_HOME.
  if (config.empty() || config.front() != '/')
    config = home + kDefaultConfigFolder;
  std::string text;
  if (readWholeFile(config + kUserDirsFile, text)) {
    std::string named = linux_text::userDirsDocuments(text, home);
    if (!named.empty())
      return named;
  }
  return home + kDefaultDocumentsFolder;
}

std::string cacheFolder() {
  std::string cache = environmentValue("XDG_CACHE_HOME");
  // The XDG rules ignore a relative XDG_CACHE_HOME.
  if (!cache.empty() && cache.front() == '/')
    return withoutTrailingSlash(cache);
  const std::string home = homeFolder();
  return home.empty() ? std::string() : home + kDefaultCacheFolder;
}

std::tm localNow() {
  std::tm result{};
  const std::time_t now = std::time(nullptr);
  localtime_r(&now, &result);
  return result;
}

bool toLocalTime(std::int64_t secondsSinceEpoch, std::tm& out) {
  if (secondsSinceEpoch < std::numeric_limits<std::time_t>::min() ||
      secondsSinceEpoch > std::numeric_limits<std::time_t>::max())
    return false;
  const auto seconds = static_cast<std::time_t>(secondsSinceEpoch);
  return localtime_r(&seconds, &out) != nullptr;
}

void sleepFor(std::chrono::milliseconds duration) {
  std::this_thread::sleep_for(duration);
}

std::size_t openFileLimit() {
  struct rlimit limit {};
  if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY)
    return SIZE_MAX;
  return static_cast<std::size_t>(limit.rlim_cur);
}

KernelVersion kernelVersion() {
  KernelVersion result;
  utsname names{};
  if (uname(&names) != 0)
    return result;
  result.ok = true;
  result.name = names.sysname;
  linux_text::parseKernelRelease(names.release, result.major, result.minor, result.build);
  for (const char* file : kOsReleaseFiles) {
    std::string text;
    if (!readWholeFile(file, text))
      continue;
    result.prettyName = linux_text::osReleaseValue(text, kPrettyNameKey);
    break;
  }
  return result;
}

} // namespace zandrex::platform
