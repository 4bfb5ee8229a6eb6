#include "errors/err_trap.h"

#include "platform/own_folder.h"
#include "platform/platform.h"
#include "text/utf8.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <new>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace zandrex {

namespace {

std::function<std::string()>& readFileNamer() {
  static std::function<std::string()> namer;
  return namer;
}

std::string readFileForReport() {
  return readFileNamer() ? readFileNamer()() : CurrentReadFile();
}

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
// The report tells about the user's files: the file made here is the user's alone (and so are
// the folders, which the platform makes with mode 0700).
constexpr mode_t kNewFileMode = 0600;
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
  ReportWriteOutcome lastWrite;
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
    // Escaped, a value never holds a line end: the block takes the long ones only.
    std::string text = escapeReportText(values[i].reportText());
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
      {"MethodName", escapeReportText(methodName)},
      {"Comp", escapeReportText(safeText(env.computerName))},
      {"Time", time},
      {"App", escapeReportText(safeText(env.appName))},
      {"Ver", escapeReportText(env.version)},
      {"ADOVersion", kUnknownComponentVersion},
      {"ErrNum", std::to_string(number)},
      {"ErrHex", hexText(number)},
      {"ErrNumRel1", signedText(std::int64_t{number} - vbObjectError)},
      {"ErrNumRel2", signedText(std::int64_t{number} - ERRMAP_APP_FIRST)},
      {"ErrStd", number == ERR_GENERAL ? kErrStdGeneral : ""},
      {"Source", escapeReportText(s.preserved.source)},
      {"Descr", escapeReportText(s.preserved.description)},
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
  appendLine("  API Error: (" + std::to_string(code) + ") " + escapeReportText(message));
}

void appendCallStackLine(const std::string& methodName, std::string_view names,
                         const ParamValues& values) {
  // Every part is escaped before the line is measured, so the padding counts what a reader sees.
  std::string line =
      "  Call Stack: " + escapeReportText(methodName) + "(" + formatParameters(names, values) + ")";
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

std::chrono::steady_clock::time_point now(const ReportEnvironment& env) {
  return env.clock ? env.clock() : std::chrono::steady_clock::now();
}

// A write that did not happen: the file it was meant for, why not and the errno value behind it.
ReportWriteOutcome failure(std::string path, std::string reason, int error = 0) {
  ReportWriteOutcome outcome;
  outcome.path = std::move(path);
  outcome.reason = std::move(reason);
  outcome.error = error;
  return outcome;
}

std::string systemReason(int error) {
  return std::strerror(error);
}

std::string quotedPath(const std::string& path) {
  return "'" + escapeReportText(path) + "'";
}

// The folder part of path ("" when it has none; "/" for a file in the root).
std::string folderOf(const std::string& path) {
  const auto slash = path.rfind('/');
  if (slash == std::string::npos)
    return {};
  return slash == 0 ? std::string("/") : path.substr(0, slash);
}

// Opens path for appending, never through a symbolic link, creating it (mode 0600) when missing.
// O_NONBLOCK keeps a FIFO put in the file's place from stalling the open; such a file is refused
// after the open anyway. Another program may hold the file for a moment: other failures are
// retried for about a second. -1 with errno set when it could not be opened.
int openForAppendWithRetries(const std::string& path, const ReportEnvironment& env) {
  const auto start = now(env);
  for (;;) {
    const int fd =
        ::open(path.c_str(),
               O_WRONLY | O_CREAT | O_APPEND | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY | O_NONBLOCK,
               kNewFileMode);
    if (fd >= 0)
      return fd;
    const int error = errno;
    // A symbolic link stays one, however long we wait.
    if (error == ELOOP)
      return -1;
    if (env.sleep)
      env.sleep(kOpenRetryPause);
    else
      platform::sleepFor(kOpenRetryPause);
    if (now(env) - start > kOpenRetryLimit) {
      errno = error;
      return -1;
    }
  }
}

// Writes all of data or says why not: 0, or the errno value (EIO when the system took nothing
// without saying why). A short write is only a step; the next write gives the reason.
int writeAll(int fd, std::string_view data) {
  while (!data.empty()) {
    const ssize_t written = ::write(fd, data.data(), data.size());
    if (written < 0 && errno == EINTR)
      continue;
    if (written < 0)
      return errno;
    if (written == 0)
      return EIO;
    data.remove_prefix(static_cast<std::size_t>(written));
  }
  return 0;
}

std::string reportToWrite() {
  const TrapState& s = state();
  if (!s.reportText.empty())
    return s.reportText;
  if (s.current.source == kErrInSource)
    return s.current.description;
  return {};
}

ReportWriteOutcome writeReportFile(std::string_view fileName) {
  const ReportEnvironment& env = reportEnvironment();
  const std::string folder = safeText(env.reportFolder);
  const std::string name(fileName);
  const bool inReportFolder = name.find('/') == std::string::npos;
  if (inReportFolder && (folder.empty() || folder.front() != '/'))
    return failure({}, folder.empty() ? "the report folder is not known"
                                      : "the report folder " + quotedPath(folder) +
                                            " is not an absolute path");
  const std::string path = inReportFolder ? folder + "/" + name : name;

  const std::string report = reportToWrite();
  if (report.empty())
    return failure(path, "there is no report to write");

  std::string failedFolder;
  if (const int error = makeFolderPath(folderOf(path), failedFolder); error != 0)
    return failure(
        path, "cannot create the folder " + quotedPath(failedFolder) + ": " + systemReason(error),
        error);

  // Closed here with its result checked once the entry is written; before that by the guard.
  struct OpenFile {
    int fd;
    ~OpenFile() {
      if (fd >= 0)
        ::close(fd);
    }
  } file{openForAppendWithRetries(path, env)};
  if (file.fd < 0) {
    const int error = errno;
    if (error == ELOOP)
      return failure(path, "refused: it is a symbolic link", error);
    return failure(path, systemReason(error), error);
  }
  struct stat opened {};
  if (::fstat(file.fd, &opened) != 0) {
    const int error = errno;
    return failure(path, systemReason(error), error);
  }
  if (!S_ISREG(opened.st_mode))
    return failure(path, "refused: it is not a regular file");
  if (opened.st_uid != ::geteuid())
    return failure(path, "refused: it belongs to another user");
  // Only the open needed it; writes to the file wait as they always do.
  if (const int flags = ::fcntl(file.fd, F_GETFL); flags != -1)
    ::fcntl(file.fd, F_SETFL, flags & ~O_NONBLOCK);

  // The whole entry first, then one checked write: a full disk cannot pass for success.
  std::string entry;
  if (opened.st_size == 0)
    entry += kSendThisFile + escapeReportText(env.supportAddress) + kCrLf + " " + kCrLf;
  entry += report + kCrLf;
  entry += "Program path: " + escapeReportText(safeText(env.programFolder)) + kCrLf;
  entry += "Error report path: " + escapeReportText(folder) + kCrLf;
  entry += "Error read file: " + escapeReportText(readFileForReport()) + kCrLf;
  entry += "File name : " + escapeReportText(safeText(env.appName)) + kCrLf;
  entry += "OS: " + escapeReportText(safeText(env.osLine)) + kCrLf + kCrLf + kCrLf;

  const int writeError = writeAll(file.fd, entry);
  // The close can be the first to hear of a failed write (a full disk over the network).
  const int closed = ::close(std::exchange(file.fd, -1));
  const int closeError = errno;
  if (writeError != 0)
    return failure(path, systemReason(writeError), writeError);
  if (closed != 0)
    return failure(path, "closing the file failed: " + systemReason(closeError), closeError);
  ReportWriteOutcome outcome;
  outcome.written = true;
  outcome.path = path;
  return outcome;
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
  WriteErrorReport(kErrorReportFileName, &state().lastWrite);
  ErrorPresenter* presenter = errorPresenter();
  if (presenter)
    presenter->showProgramError(reportEnvironment().mainWindowLoaded());
}

bool WriteErrorReport(std::string_view fileName, ReportWriteOutcome* outcome) {
  ReportWriteOutcome result;
  try {
    result = writeReportFile(fileName);
  } catch (const std::bad_alloc&) {
    result = failure({}, "out of memory", ENOMEM);
  } catch (...) {
    result = failure({}, "internal error");
  }
  const bool written = result.written;
  if (outcome)
    *outcome = std::move(result);
  return written;
}

const ReportWriteOutcome& lastReportWrite() {
  return state().lastWrite;
}

std::string escapeReportText(std::string_view text) {
  static constexpr char kHexDigits[] = "0123456789ABCDEF";
  constexpr unsigned char kFirstPrintable = 0x20;
  constexpr unsigned char kDelete = 0x7F;
  constexpr char32_t kFirstC1 = 0x80;
  constexpr char32_t kLastC1 = 0x9F;
  constexpr char32_t kLineSeparator = 0x2028;
  constexpr char32_t kParagraphSeparator = 0x2029;
  const auto appendHex = [](std::string& out, std::string_view bytes) {
    for (const char byte : bytes) {
      const auto value = static_cast<unsigned char>(byte);
      out += "\\x";
      out += kHexDigits[value >> 4];
      out += kHexDigits[value & 0xF];
    }
  };
  std::string result;
  result.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t length = utf8SequenceLength(text, i);
    const std::string_view sequence = text.substr(i, length == 0 ? 1 : length);
    i += sequence.size();
    if (length == 1) {
      const auto byte = static_cast<unsigned char>(sequence.front());
      switch (byte) {
      case '\\':
        result += "\\\\";
        break;
      case '\n':
        result += "\\n";
        break;
      case '\r':
        result += "\\r";
        break;
      case '\t':
        result += "\\t";
        break;
      default:
        if (byte < kFirstPrintable || byte == kDelete)
          appendHex(result, sequence);
        else
          result += sequence;
      }
      continue;
    }
    if (length == 0) {
      appendHex(result, sequence);
      continue;
    }
    const char32_t codePoint = utf8CodePoint(text, i - length, length);
    if ((codePoint >= kFirstC1 && codePoint <= kLastC1) || codePoint == kLineSeparator ||
        codePoint == kParagraphSeparator)
      appendHex(result, sequence);
    else
      result += sequence;
  }
  return result;
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
  s.lastWrite = ReportWriteOutcome{};
}

std::string& CurrentReadFile() {
  static std::string path;
  return path;
}

void setReadFileNamer(std::function<std::string()> namer) {
  readFileNamer() = std::move(namer);
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
