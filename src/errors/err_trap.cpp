#include "errors/err_trap.h"

#include "platform/platform.h"
#include "platform/unique_fd.h"
#include "text/utf8.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <fcntl.h>
#include <new>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace zandrex {

namespace {

constexpr const char* kCrLf = "\r\n";
constexpr std::size_t kCallStackWidth = 100;
constexpr char kCallStackPad = '-';
// Quotes included: a text parameter of 39 characters or more no longer fits in the line.
constexpr std::size_t kLongValueLimit = 40;
constexpr const char* kValueIndent = "      ";
constexpr const char* kLongValueStandIn = "{Text}";
// Harmless code that many successful calls leave behind; not worth an API line.
constexpr std::uint32_t kIgnoredSystemError = 203;
constexpr const char* kLostDescription = "ErrorIn: Error information was lost. "
                                         "To fix: call ErrPreserve before doing anything in "
                                         "error handler.";
constexpr const char* kErrStdGeneral = "= ERR_GENERAL";
// There is no data-access component here to ask for its version.
constexpr const char* kUnknownComponentVersion = "?";
constexpr const char* kSendThisFile = "Please send this file to ";
constexpr std::chrono::milliseconds kOpenRetryPause{200};
constexpr std::chrono::milliseconds kOpenRetryLimit{1000};
constexpr mode_t kNewFolderMode = 0777;
constexpr mode_t kNewFileMode = 0666;
// Stands for "%" while keys are replaced, so that "%" inside values is never taken for a key.
constexpr char kKeyMark = '\b';
constexpr const char* kHeaderTemplate =
    "%Descr% %nl%  Time='%Time%' App='%App%:%Ver%' ADO-version='%ADOVersion%' Computer='%Comp%' "
    "%nl%  Method: %MethodName% %nl%  Number: %ErrNum% = &H%ErrHex% = vbObjectError %ErrNumRel1% "
    "= ERRMAP_APP_FIRST %ErrNumRel2% %ErrStd%%nl%  Source: %Source% %nl%  Description: "
    "%Descr%%nl%";

struct TrapState {
  PreservedError preserved;
  std::string reportText;
  std::string pendingValueBlocks;
  AppError current;
  ErrorPresenter* presenter = nullptr;
};

TrapState& state() {
  static TrapState trapState;
  return trapState;
}

// Report building must never add an error of its own to the one being reported.
template <typename Step> void swallowErrors(Step&& step) noexcept {
  try {
    step();
  } catch (...) {
  }
}

std::string safeText(const std::function<std::string()>& source) {
  std::string text;
  swallowErrors([&] {
    if (source)
      text = source();
  });
  return text;
}

AppError translate(const std::exception_ptr& error) {
  try {
    std::rethrow_exception(error);
  } catch (const AppError& appError) {
    return appError;
  } catch (const std::bad_alloc&) {
    return AppError(errnum::kOutOfMemory, kOwnErrorSource, "Out of memory");
  } catch (const std::overflow_error&) {
    return AppError(errnum::kOverflow, kOwnErrorSource, "Overflow");
  } catch (const std::exception& other) {
    return AppError(errnum::kInternal, kOwnErrorSource,
                    std::string("Internal error: ") + other.what());
  } catch (...) {
    return AppError(errnum::kInternal, kOwnErrorSource, "Internal error");
  }
}

// Captures state().current unless a capture is held or there is no error.
void preserveCurrent() {
  TrapState& s = state();
  if (s.preserved.preserved || s.current.number == 0)
    return;
  s.preserved.number = s.current.number;
  s.preserved.source = s.current.source;
  s.preserved.description = s.current.description;
  s.preserved.helpFile = s.current.helpFile;
  s.preserved.helpContext = std::to_string(s.current.helpContext);
  s.preserved.line = s.current.line;
  s.preserved.systemError = s.current.systemError;
  s.preserved.preserved = true;
}

void replaceAll(std::string& text, std::string_view from, std::string_view to) {
  std::size_t position = 0;
  while ((position = text.find(from, position)) != std::string::npos) {
    text.replace(position, from.size(), to);
    position += to.size();
  }
}

void removeAll(std::string& text, std::string_view what) {
  replaceAll(text, what, "");
}

std::string escapeInvalidUtf8(std::string_view text) {
  static constexpr char kHexDigits[] = "0123456789ABCDEF";
  std::string result;
  result.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t length = utf8SequenceLength(text, i);
    if (length != 0) {
      result.append(text.substr(i, length));
      i += length;
      continue;
    }
    const auto stray = static_cast<unsigned char>(text[i]);
    result += "\\x";
    result += kHexDigits[stray >> 4];
    result += kHexDigits[stray & 0xF];
    ++i;
  }
  return result;
}

std::string twoDigits(int value) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "%02d", value);
  return buffer;
}

std::string timeText(const std::tm& time) {
  constexpr int kCentury = 100;
  return twoDigits(time.tm_mon + 1) + "/" + twoDigits(time.tm_mday) + "/" +
         twoDigits((time.tm_year % kCentury + kCentury) % kCentury) + " " +
         twoDigits(time.tm_hour) + ":" + twoDigits(time.tm_min) + ":" + twoDigits(time.tm_sec);
}

std::string hexText(std::int32_t number) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "%X", static_cast<std::uint32_t>(number));
  return buffer;
}

// "+ n" or "- n"; 64 bits, so numbers far from the base still show their true distance.
std::string signedText(std::int64_t value) {
  if (value < 0)
    return "- " + std::to_string(-value);
  return "+ " + std::to_string(value);
}

std::vector<std::string> splitNames(std::string_view names) {
  std::vector<std::string> result;
  if (names.empty())
    return result;
  for (;;) {
    const auto comma = names.find(',');
    result.emplace_back(names.substr(0, comma));
    if (comma == std::string_view::npos)
      return result;
    names.remove_prefix(comma + 1);
  }
}

// "name=value, name=value"; long or multi-line values go to the pending "Value Of" blocks.
std::string formatParameters(std::string_view names, const ParamValues& values) {
  TrapState& s = state();
  s.pendingValueBlocks.clear();
  const std::vector<std::string> nameList = splitNames(names);
  std::string items;
  for (std::size_t i = 0; i < values.size(); ++i) {
    const std::string name = i < nameList.size() ? nameList[i] : std::string();
    std::string text = values[i].reportText();
    if (text.find(kCrLf) != std::string::npos || utf8CharacterCount(text) > kLongValueLimit) {
      std::string indented = kValueIndent + text;
      replaceAll(indented, kCrLf, std::string(kCrLf) + kValueIndent);
      if (!s.pendingValueBlocks.empty())
        s.pendingValueBlocks += kCrLf;
      s.pendingValueBlocks += "    Value Of " + name + ":" + kCrLf + indented;
      text = kLongValueStandIn;
    }
    if (i > 0)
      items += ", ";
    items += name.empty() ? text : name + "=" + text;
  }
  return items;
}

void appendLine(const std::string& line) {
  TrapState& s = state();
  if (IsSilentError(s.preserved.number))
    return;
  s.reportText += line + kCrLf;
}

void appendPendingValueBlocks() {
  TrapState& s = state();
  if (s.pendingValueBlocks.empty())
    return;
  appendLine(s.pendingValueBlocks);
  s.pendingValueBlocks.clear();
}

std::string buildHeader(const std::string& methodName) {
  const TrapState& s = state();
  const ReportEnvironment& env = reportEnvironment();
  const std::int32_t number = s.preserved.number;
  std::string time;
  swallowErrors([&] {
    if (env.localNow)
      time = timeText(env.localNow());
  });
  const std::pair<const char*, std::string> values[] = {
      {"nl", kCrLf},
      {"MethodName", methodName},
      {"Comp", safeText(env.computerName)},
      {"Time", time},
      {"App", safeText(env.appName)},
      {"Ver", env.version},
      {"ADOVersion", kUnknownComponentVersion},
      {"ErrNum", std::to_string(number)},
      {"ErrHex", hexText(number)},
      {"ErrNumRel1", signedText(std::int64_t{number} - vbObjectError)},
      {"ErrNumRel2", signedText(std::int64_t{number} - ERRMAP_APP_FIRST)},
      {"ErrStd", number == ERR_GENERAL ? kErrStdGeneral : ""},
      {"Source", s.preserved.source},
      {"Descr", s.preserved.description},
  };
  std::string header = kHeaderTemplate;
  std::replace(header.begin(), header.end(), '%', kKeyMark);
  for (const auto& [key, value] : values)
    replaceAll(header, std::string(1, kKeyMark) + key + kKeyMark, value);
  std::replace(header.begin(), header.end(), kKeyMark, '%');
  return header;
}

void appendSystemErrorLine() {
  const std::uint32_t code = state().preserved.systemError;
  if (code == 0 || code == kIgnoredSystemError)
    return;
  std::string message;
  swallowErrors([&] {
    const auto& systemMessage = reportEnvironment().systemMessage;
    if (systemMessage)
      message = systemMessage(code);
  });
  removeAll(message, kCrLf);
  removeAll(message, std::string_view("\0", 1));
  appendLine("  API Error: (" + std::to_string(code) + ") " + message);
}

void appendCallStackLine(const std::string& methodName, std::string_view names,
                         const ParamValues& values) {
  std::string line = "  Call Stack: " + methodName + "(" + formatParameters(names, values) + ")";
  if (state().preserved.line != 0)
    line += "  at Line " + std::to_string(state().preserved.line);
  line += " ";
  const std::size_t length = utf8CharacterCount(line);
  if (length < kCallStackWidth)
    line.append(kCallStackWidth - length, kCallStackPad);
  appendLine(line);
  appendPendingValueBlocks();
}

void buildReport(std::string_view signature, const ParamValues& values) {
  TrapState& s = state();
  const auto open = signature.find('(');
  const std::string methodName(signature.substr(0, open));
  std::string_view names;
  if (open != std::string_view::npos) {
    names = signature.substr(open + 1);
    if (!names.empty())
      names.remove_suffix(1);
  }
  if (s.preserved.source == kErrInSource) {
    s.reportText = s.preserved.description;
  } else {
    s.reportText.clear();
    swallowErrors([&] { s.reportText = buildHeader(methodName); });
    swallowErrors(appendSystemErrorLine);
  }
  swallowErrors([&] { appendCallStackLine(methodName, names, values); });
}

bool pathExists(const std::string& path) {
  struct stat entry {};
  return ::stat(path.c_str(), &entry) == 0;
}

std::chrono::steady_clock::time_point now(const ReportEnvironment& env) {
  return env.clock ? env.clock() : std::chrono::steady_clock::now();
}

// Another program may hold the file for a moment; keep trying for about a second.
int openForAppendWithRetries(const std::string& path, const ReportEnvironment& env) {
  const auto start = now(env);
  for (;;) {
    const int fd =
        ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | O_NOCTTY, kNewFileMode);
    if (fd >= 0)
      return fd;
    if (env.sleep)
      env.sleep(kOpenRetryPause);
    else
      platform::sleepFor(kOpenRetryPause);
    if (now(env) - start > kOpenRetryLimit)
      return -1;
  }
}

bool writeAll(int fd, std::string_view data) {
  while (!data.empty()) {
    const ssize_t written = ::write(fd, data.data(), data.size());
    if (written < 0 && errno == EINTR)
      continue;
    if (written <= 0)
      return false;
    data.remove_prefix(static_cast<std::size_t>(written));
  }
  return true;
}

std::string reportToWrite() {
  const TrapState& s = state();
  if (!s.reportText.empty())
    return s.reportText;
  if (s.current.source == kErrInSource)
    return s.current.description;
  return {};
}

bool writeReportFile(std::string_view fileName) {
  const std::string report = reportToWrite();
  if (report.empty())
    return false;
  const ReportEnvironment& env = reportEnvironment();
  const std::string folder = safeText(env.reportFolder);
  // One level only: the documents folder itself is the user's.
  if (!pathExists(folder) && ::mkdir(folder.c_str(), kNewFolderMode) != 0)
    return false;
  const std::string name(fileName);
  const std::string path = name.find('/') != std::string::npos ? name : folder + "/" + name;
  const bool isNew = !pathExists(path);

  std::string entry;
  if (isNew)
    entry += kSendThisFile + env.supportAddress + kCrLf + " " + kCrLf;
  entry += report + kCrLf;
  entry += "Program path: " + safeText(env.programFolder) + kCrLf;
  entry += "Error report path: " + folder + kCrLf;
  entry += "Error read file: " + CurrentReadFile() + kCrLf;
  entry += "File name : " + safeText(env.appName) + kCrLf;
  entry += "OS: " + safeText(env.osLine) + kCrLf + kCrLf + kCrLf;

  const UniqueFd file(openForAppendWithRetries(path, env));
  if (!file.valid())
    return false;
  return writeAll(file.get(), escapeInvalidUtf8(entry));
}

} // namespace

void ErrPreserve() {
  TrapState& s = state();
  if (s.preserved.preserved)
    return;
  const std::exception_ptr error = std::current_exception();
  if (!error)
    return;
  s.current = translate(error);
  preserveCurrent();
}

void ErrRestore() {
  TrapState& s = state();
  if (!s.preserved.preserved)
    return;
  AppError restored;
  restored.number = s.preserved.number;
  restored.source = s.preserved.source;
  restored.description = s.preserved.description;
  const std::string& context = s.preserved.helpContext;
  if (!context.empty())
    std::from_chars(context.data(), context.data() + context.size(), restored.helpContext);
  restored.helpFile = s.preserved.helpFile;
  s.current = std::move(restored);
}

std::string ErrorIn(std::string_view signature, const ParamValues& parameterValues,
                    std::int32_t flags) {
  TrapState& s = state();
  if (!s.preserved.preserved) {
    const std::exception_ptr error = std::current_exception();
    if (error)
      s.current = translate(error);
    if (!error || s.current.number == 0)
      s.current = AppError(ERR_GENERAL, std::string(), kLostDescription);
    preserveCurrent();
  }

  std::string result;
  const bool report = (flags & errin::kReport) != 0;
  if (IsSilentError(s.preserved.number)) {
    s.reportText.clear();
  } else if (report) {
    buildReport(signature, parameterValues);
    s.preserved.source = kErrInSource;
    s.preserved.description = s.reportText;
    result = s.reportText;
  }

  ErrRestore();
  s.preserved.preserved = false;
  if ((flags & errin::kRaise) != 0)
    throw s.current;
  return result;
}

void ShowErrorReport() {
  if (IsSilentError(state().current.number))
    return;
  WriteErrorReport(kErrorReportFileName);
  ErrorPresenter* presenter = errorPresenter();
  if (presenter)
    presenter->showProgramError(reportEnvironment().mainWindowLoaded());
}

bool WriteErrorReport(std::string_view fileName) {
  bool written = false;
  swallowErrors([&] { written = writeReportFile(fileName); });
  return written;
}

bool IsSilentError(std::int32_t number) {
  return number >= kSilentFirst && number <= kSilentLast;
}

const PreservedError& preservedError() {
  return state().preserved;
}
const AppError& currentError() {
  return state().current;
}
const std::string& reportText() {
  return state().reportText;
}

void resetErrTrap() {
  TrapState& s = state();
  s.preserved = PreservedError{};
  s.reportText.clear();
  s.pendingValueBlocks.clear();
  s.current = AppError{};
}

std::string& CurrentReadFile() {
  static std::string path;
  return path;
}

ReportEnvironment defaultReportEnvironment() {
  ReportEnvironment env;
  env.localNow = [] { return platform::localNow(); };
  env.computerName = [] { return platform::computerName(); };
  env.appName = [] { return platform::executableName(); };
  env.programFolder = [] { return platform::executableFolder(); };
  env.reportFolder = [] { return platform::documentsFolder(); };
  env.osLine = [] { return std::string(); };
  env.mainWindowLoaded = [] { return false; };
  env.systemMessage = [](std::uint32_t code) { return platform::systemMessage(code); };
  env.sleep = [](std::chrono::milliseconds pause) { platform::sleepFor(pause); };
  env.clock = [] { return std::chrono::steady_clock::now(); };
  return env;
}

ReportEnvironment& reportEnvironment() {
  static ReportEnvironment env = defaultReportEnvironment();
  return env;
}

void setErrorPresenter(ErrorPresenter* presenter) {
  state().presenter = presenter;
}
ErrorPresenter* errorPresenter() {
  return state().presenter;
}

namespace detail {

void trapInnerFailed(std::string_view signature, const ParamValues& values) {
  ErrPreserve();
  ErrorIn(signature, values, errin::kInner);
  // ErrorIn raises with these flags; this only keeps the promise never to return.
  throw state().current;
}

void trapEventFailed(std::string_view signature, const ParamValues& values) {
  ErrPreserve();
  ErrorIn(signature, values, errin::kEvent);
  ShowErrorReport();
}

} // namespace detail

} // namespace zandrex
