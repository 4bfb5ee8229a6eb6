// The error module: every procedure traps its own errors and hands them here. The report grows
// by one call-stack line per level on the way out; the outermost trap appends it to
// ErrorReport.txt and asks the user interface to show the "Program Error" window.
//
// Usage, one line per procedure:
//   void ShowDir3_FillPreview(const std::string& pParentName, const std::string& sParentPath) {
//     trapInner("mScanCD.ShowDir3_FillPreview(pParentName,sParentPath)", [&] { ... },
//               pParentName, sParentPath);
//   }
// Event handlers, the start routine and the scan driver use trapEvent instead.
//
// The module state is global and serves one error at a time, on one thread.
#pragma once

#include "errors/app_error.h"
#include "errors/param_value.h"

#include <chrono>
#include <cstdint>
#include <ctime>
#include <functional>
#include <string>
#include <string_view>
#include <utility>

namespace zandrex {

// Flags of ErrorIn.
namespace errin {
constexpr std::int32_t kRaise = 1;
constexpr std::int32_t kReport = 2;
constexpr std::int32_t kSetAbort = 4;
constexpr std::int32_t kDisableCommit = 8;
constexpr std::int32_t kRollback = 16;
constexpr std::int32_t kWebInfo = 32;
constexpr std::int32_t kCloseConn = 64;
// Inner procedures: report and re-raise.
constexpr std::int32_t kInner = kRaise | kReport | kWebInfo; // 35
// Event handlers, the start routine and the scan driver: report, no re-raise.
constexpr std::int32_t kEvent = kReport | kDisableCommit | kWebInfo; // 42
} // namespace errin

constexpr std::int32_t vbObjectError = -2147221504;
constexpr std::int32_t ERR_GENERAL = -2147216306;
constexpr std::int32_t ERRMAP_APP_FIRST = ERR_GENERAL;
constexpr std::int32_t kSilentFirst = -2147217307;
constexpr std::int32_t kSilentLast = -2147216307;
// The source a propagated error carries: its description is the report built so far.
inline constexpr const char* kErrInSource = "ErrTrap.ErrorIn";
// The file in the report folder that every report is appended to; the windows and the command
// line point the user at it by this name.
inline constexpr const char* kErrorReportFileName = "ErrorReport.txt";

struct PreservedError {
  std::int32_t number = 0;
  std::string source;
  std::string description;
  std::string helpFile;
  std::string helpContext; // decimal text
  std::int32_t line = 0;
  std::uint32_t systemError = 0;
  bool preserved = false;
};

// Captures the error being handled (std::current_exception) into the preserved record, unless
// one is already held or there is no current error. Non-AppError exceptions are translated:
// std::bad_alloc -> 7, std::overflow_error -> 6, any other -> 51 with its what() text.
void ErrPreserve();
// Makes the preserved record the current error again (see currentError()); keeps the mark.
void ErrRestore();

// Adds the trapping procedure's part to the report; see the flag sets above. Returns the report
// text with kReport, else empty. With kRaise it throws the current error (source
// "ErrTrap.ErrorIn", description = the report so far) and never returns.
std::string ErrorIn(std::string_view signature, const ParamValues& parameterValues,
                    std::int32_t flags);

// The one escape of the error report, lossless, done by this one function for every value the
// report takes from outside its own templates: the error's description and source, the system's
// message, the computer and program names, the method name, every parameter value, the program
// folder, the report folder, the last read file and the OS line. A file name can thus neither
// write a line of its own into the report nor pass for another name.
//   backslash                         -> "\\" (so a name holding "\x41" reads "\\x41", not "A")
//   LF, CR, TAB                       -> "\n", "\r", "\t"
//   any other control character       -> "\xHH" for each of its bytes (HH: two upper-case hex
//   (U+0000..U+001F, U+007F,             digits)
//   U+0080..U+009F), U+2028, U+2029
//   a byte that is not part of valid  -> "\xHH"
//   UTF-8
// Everything else (printable ASCII, valid UTF-8 characters) is copied unchanged. Reading "\\",
// "\n", "\r", "\t" and "\xHH" back as the bytes they stand for restores the original exactly; the
// result is valid UTF-8 without control characters.
std::string escapeReportText(std::string_view text);

// Where WriteErrorReport put the report, or why it could not.
struct ReportWriteOutcome {
  // True only when the whole entry was appended and the file closed without error.
  bool written = false;
  // The file the entry was appended to, or was meant for; empty when no path could be formed.
  std::string path;
  // Why not, when written is false: a short text in the manner of strerror, for instance
  // "cannot create the folder '/home/u/Documents': Not a directory" or "No space left on
  // device" (paths in it escaped with escapeReportText). Empty when written.
  std::string reason;
  // The errno value behind reason; 0 when the reason is not a system error.
  int error = 0;
};

// Appends the report to kErrorReportFileName and asks the presenter for the "Program Error" window
// (modal when "Form1" is loaded), whether or not the file could be written; the presenter can ask
// lastReportWrite() which of the two it was. Does nothing for a silent error.
void ShowErrorReport();
// Appends the report (reportText(), else the description of a propagated current error) to
// fileName: in the report folder unless the name holds a "/", when it is used as given. The
// folders of that path that are missing are created, with mode 0700; the report folder must be
// an absolute path. A file that does not exist or is empty starts with the "Please send this
// file to" line and a line of one blank; the report is followed by the program path, report
// folder, last read file, program name and OS lines, every value in them escaped with
// escapeReportText. Lines end in CR LF; the file is only ever appended to. The file is opened
// with O_NOFOLLOW (a symbolic link is refused, whatever it points at) and is accepted only when
// it is a regular file owned by the effective user; a new file gets mode 0600. An open that
// fails is retried every 200 ms for about a second (environment clock and sleep), except for a
// symbolic link. The whole entry is written with one checked write loop.
// True means: every byte of the entry was written and the file was closed without error. False
// means the report is not (or not wholly) in the file; *outcome, when given, then says why.
bool WriteErrorReport(std::string_view fileName, ReportWriteOutcome* outcome = nullptr);
// The outcome of the write of the last ShowErrorReport; empty (not written, no reason) before the
// first one and after resetErrTrap.
const ReportWriteOutcome& lastReportWrite();

bool IsSilentError(std::int32_t number);

// Module state, readable for tests and the report window.
const PreservedError& preservedError();
const AppError& currentError();
const std::string& reportText();
// Forgets everything: no preserved error, no report, no current error, no last write. For tests.
// The presenter, the environment and CurrentReadFile stay as they are.
void resetErrTrap();

// The full path of the file the content checksum pass read last ("Error read file: ").
std::string& CurrentReadFile();
// While set, a report names the file read last through namer instead of CurrentReadFile: a pass
// over many files then makes a path only when a report needs one. The pass sets it while it
// runs, and takes it away (nullptr) once CurrentReadFile names the file it read last.
void setReadFileNamer(std::function<std::string()> namer);

// What the report header and trailer need from the world; each part can be replaced by tests.
struct ReportEnvironment {
  std::function<std::tm()> localNow;          // local date and time
  std::function<std::string()> computerName;  // "" when unknown
  std::function<std::string()> appName;       // executable name without path and extension
  std::function<std::string()> programFolder; // folder of the executable, no trailing "/"
  std::function<std::string()> reportFolder;  // documents folder + "/Zandrex"
  std::function<std::string()> osLine;        // "Linux 6.1 build 0 (Debian GNU/Linux 12)"
  // Whether the main window is loaded: the "Program Error" window is then modal.
  std::function<bool()> mainWindowLoaded;
  std::function<std::string(std::uint32_t)> systemMessage; // "" when the system has no text
  std::function<void(std::chrono::milliseconds)> sleep;
  std::function<std::chrono::steady_clock::time_point()> clock;
  std::string version = "2.0.0";
  std::string supportAddress;
};
// The environment in force. It starts with what the platform alone can answer; the program's
// entry points hand in the rest (the report folder, the OS line, the version, the support
// address, the main window's state) with the environment of shellaid/program_environment.h.
ReportEnvironment& reportEnvironment();
ReportEnvironment defaultReportEnvironment();

// How ShowErrorReport reaches the user interface.
class ErrorPresenter {
public:
  virtual ~ErrorPresenter() = default;
  // Open the "Program Error" window: modal when the main window is loaded.
  virtual void showProgramError(bool modal) = 0;
};
// The presenter in force (none by default: the window request is dropped). Not owned.
void setErrorPresenter(ErrorPresenter* presenter);
ErrorPresenter* errorPresenter();

namespace detail {
[[noreturn]] void trapInnerFailed(std::string_view signature, const ParamValues& values);
void trapEventFailed(std::string_view signature, const ParamValues& values);
} // namespace detail

// The trap of an inner procedure: runs body; on any error adds this procedure's call-stack line
// (flags 35) and re-raises. Parameters are formatted only when an error is caught.
template <typename Body, typename... Params>
decltype(auto) trapInner(std::string_view signature, Body&& body, const Params&... params) {
  try {
    return std::forward<Body>(body)();
  } catch (...) {
    detail::trapInnerFailed(signature, ParamValues{ParamValue(params)...});
  }
}

// The trap of an event handler, the start routine or the scan driver: runs body; on any error
// reports it (flags 42), shows the report and returns false. True when body ran to its end.
template <typename Body, typename... Params>
bool trapEvent(std::string_view signature, Body&& body, const Params&... params) {
  try {
    std::forward<Body>(body)();
    return true;
  } catch (...) {
    detail::trapEventFailed(signature, ParamValues{ParamValue(params)...});
    return false;
  }
}

} // namespace zandrex
