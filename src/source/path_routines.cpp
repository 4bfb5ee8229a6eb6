#include "source/path_routines.h"

#include "errors/err_trap.h"
#include "platform/platform.h"
#include "text/utf8.h"

#include <algorithm>
#include <clocale>
#include <cstdio>
#include <cwctype>
#include <locale.h>
#include <sys/stat.h>

namespace zandrex {

namespace {

constexpr double kTwoTo32 = 4294967296.0;
// The largest size the 64-bit fixed-point arithmetic with four decimals holds.
constexpr double kLargestSize = 922337203685477.0;
constexpr std::int64_t kTmYearBase = 1900;
constexpr long long kLargestFourDigitYear = 9999;
// "yyyy.mm.dd hh:mm:ss"
constexpr std::size_t kDateTimeLength = 19;

} // namespace

std::string formatListDate(std::int64_t seconds, std::int64_t nanoseconds, bool WithTime) {
  return trapInner(
      "mScanCD.SysToVBTime(ft,WithTime)",
      [&]() -> std::string {
        if (seconds == 0 && nanoseconds == 0)
          return {};
        std::tm tm{};
        if (!platform::toLocalTime(seconds, tm))
          return {};
        // Formatted by hand: this runs once per file met, and printf is the walk's costliest step.
        char text[kDateTimeLength];
        char* out = text;
        auto put = [&out](long long value, int digits) {
          for (int i = digits - 1; i >= 0; --i, value /= 10)
            out[i] = static_cast<char>('0' + value % 10);
          out += digits;
        };
        const long long year = tm.tm_year + kTmYearBase;
        if (year < 0 || year > kLargestFourDigitYear)
          return {};
        put(year, 4);
        *out++ = '.';
        put(tm.tm_mon + 1, 2);
        *out++ = '.';
        put(tm.tm_mday, 2);
        if (WithTime) {
          *out++ = ' ';
          put(tm.tm_hour, 2);
          *out++ = ':';
          put(tm.tm_min, 2);
          *out++ = ':';
          put(tm.tm_sec, 2);
        }
        return std::string(text, out);
      },
      seconds, WithTime);
}

double sizeFromHalves(std::int32_t plngFileSizeHigh, std::int32_t plngFileSizeLow) {
  return trapInner(
      "mCommon.FileSizeWFD(plngFileSizeHigh,plngFileSizeLow)",
      [&] {
        double result = plngFileSizeLow;
        if (plngFileSizeLow < 0)
          result += kTwoTo32;
        if (plngFileSizeHigh > 0)
          result += plngFileSizeHigh * kTwoTo32;
        if (result > kLargestSize)
          raiseOverflow();
        return result;
      },
      plngFileSizeHigh, plngFileSizeLow);
}

std::string withTrailingSlash(const std::string& sPath) {
  return trapInner(
      "mScanCD.NormalizePath(sPath)",
      [&] {
        if (sPath.empty() || sPath.back() == '/')
          return sPath;
        return sPath + "/";
      },
      sPath);
}

std::string withoutTrailingSlash(const std::string& sBrowse) {
  return trapInner(
      "mMain.GetPathWithNoSlash(sBrowse)",
      [&] {
        if (!sBrowse.empty() && sBrowse.back() == '/')
          return sBrowse.substr(0, sBrowse.size() - 1);
        return sBrowse;
      },
      sBrowse);
}

std::string lastPathPiece(const std::string& sFullPath, const std::string& point) {
  return trapInner(
      "mMain.SplitingFolder(sFullPath,point)",
      [&]() -> std::string {
        if (sFullPath.empty() || point.empty())
          return {};
        auto last = sFullPath.rfind(point);
        if (last == std::string::npos)
          return {};
        return sFullPath.substr(last + point.size());
      },
      sFullPath, point);
}

std::string commonFolder(const std::vector<std::string>& realPaths) {
  if (realPaths.empty())
    return {};
  std::string common = realPaths.front();
  for (const std::string& path : realPaths) {
    std::size_t same = 0;
    while (same < common.size() && same < path.size() && common[same] == path[same])
      ++same;
    // Cut back to a whole name: both end there, or both go on with "/".
    const bool wholeName = (same == common.size() || common[same] == '/') &&
                           (same == path.size() || path[same] == '/');
    if (!wholeName)
      same = common.rfind('/', same == 0 ? 0 : same - 1);
    common.resize(same);
  }
  while (common.size() > 1 && common.back() == '/')
    common.pop_back();
  return common.empty() ? "/" : common;
}

std::string pathBelow(const std::string& realPath, const std::string& folder) {
  std::size_t from = std::min(folder.size(), realPath.size());
  while (from < realPath.size() && realPath[from] == '/')
    ++from;
  return realPath.substr(from);
}

namespace {

constexpr unsigned char kFirstNonAscii = 0x80;

locale_t utf8Locale() {
  static locale_t locale = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0));
  return locale;
}

} // namespace

std::string lowerCaseName(std::string_view name) {
  std::string out;
  out.reserve(name.size());
  for (std::size_t i = 0; i < name.size();) {
    auto c = static_cast<unsigned char>(name[i]);
    if (c < kFirstNonAscii) {
      out += (c >= 'A' && c <= 'Z') ? static_cast<char>(c + ('a' - 'A')) : static_cast<char>(c);
      ++i;
      continue;
    }
    const std::size_t length = utf8SequenceLength(name, i);
    if (length == 0 || !utf8Locale()) {
      // Not UTF-8: keep the byte so the name is never corrupted.
      out += name[i];
      ++i;
      continue;
    }
    const auto codePoint = static_cast<wint_t>(utf8CodePoint(name, i, length));
    appendUtf8(out, static_cast<char32_t>(towlower_l(codePoint, utf8Locale())));
    i += length;
  }
  return out;
}

} // namespace zandrex
