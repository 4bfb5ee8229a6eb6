#include "errors/err_trap.h"
#include "test_support.h"
#include "text/utf8.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <ctime>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <initializer_list>
#include <new>
#include <stdexcept>
#include <sys/resource.h>
#include <sys/stat.h>
#include <tuple>
#include <unistd.h>
#include <vector>

namespace zandrex {
namespace {

namespace fs = std::filesystem;

constexpr const char* kCrLf = "\r\n";

std::string joinLines(std::initializer_list<std::string> lines) {
  std::string text;
  for (const std::string& line : lines)
    text += line + kCrLf;
  return text;
}

// A call-stack line as the report pads it to 100 characters (not bytes), with its line end; a
// longer line stays as it is.
std::string padded(const std::string& line) {
  return line + std::string(100 - std::min<std::size_t>(100, utf8CharacterCount(line)), '-') +
         kCrLf;
}

bool isUpperHex(char c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F');
}

// The report's escape read back: "\\", "\n", "\r", "\t" and "\xHH" become the bytes they
// stand for. Anything else after a backslash, or a control byte left raw, is a failure.
std::string unescaped(std::string_view text) {
  std::string bytes;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
      ADD_FAILURE() << "raw control byte " << int(c) << " in: " << text;
    if (c != '\\') {
      bytes += c;
      continue;
    }
    const char next = i + 1 < text.size() ? text[++i] : '?';
    if (next == '\\' || next == 'n' || next == 'r' || next == 't') {
      bytes += next == 'n' ? '\n' : next == 'r' ? '\r' : next == 't' ? '\t' : '\\';
    } else if (next == 'x' && i + 2 < text.size() && isUpperHex(text[i + 1]) &&
               isUpperHex(text[i + 2])) {
      bytes += static_cast<char>(std::stoi(std::string(text.substr(i + 1, 2)), nullptr, 16));
      i += 2;
    } else {
      ADD_FAILURE() << "no escape: \\" << next << " in: " << text;
    }
  }
  return bytes;
}

// The report's lines, split at CR LF only.
std::vector<std::string> linesOf(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t end; (end = text.find(kCrLf, start)) != std::string::npos; start = end + 2)
    lines.push_back(text.substr(start, end - start));
  lines.push_back(text.substr(start));
  return lines;
}

mode_t modeOf(const std::string& path) {
  struct stat entry {};
  EXPECT_EQ(::lstat(path.c_str(), &entry), 0) << path;
  return entry.st_mode & 07777;
}

mode_t currentUmask() {
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return mask;
}

bool contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

class RecordingPresenter : public ErrorPresenter {
public:
  void showProgramError(bool modal) override { calls.push_back(modal); }
  std::vector<bool> calls;
};

// Every test starts from an idle module and a fixed, fake world.
class ErrTrapTest : public ::testing::Test {
protected:
  void SetUp() override {
    resetErrTrap();
    CurrentReadFile().clear();
    ReportEnvironment& env = reportEnvironment();
    env.localNow = [] {
      std::tm time{};
      ::strptime("2026-12-05 14:03:09", "%Y-%m-%d %H:%M:%S", &time);
      return time;
    };
    env.computerName = [] { return std::string("OFFICE7"); };
    env.appName = [] { return std::string("Zandrex"); };
    env.programFolder = [] { return std::string("/opt/zandrex"); };
    env.reportFolder = [this] { return reportFolder; };
    env.osLine = [] { return std::string("Windows XP 5.1 build 2600 (Service Pack 3)"); };
    env.mainWindowLoaded = [this] { return mainWindowLoaded; };
    env.systemMessage = [](std::uint32_t code) {
      return code == 2 ? std::string("The system cannot find\0 the file specified.\r\n", 45) : "";
    };
    env.clock = [this] { return fakeNow; };
    env.sleep = [this](std::chrono::milliseconds pause) {
      sleeps.push_back(pause);
      fakeNow += pause;
    };
    env.version = "2.0.0";
    env.supportAddress = "support@zandrex.org";
    setErrorPresenter(&presenter);
  }
  void TearDown() override {
    setErrorPresenter(nullptr);
    reportEnvironment() = defaultReportEnvironment();
    resetErrTrap();
  }

  std::string reportFile() const { return reportFolder + "/ErrorReport.txt"; }

  test::TempDir temp;
  std::string reportFolder = temp.path() + "Zandrex";
  bool mainWindowLoaded = false;
  std::chrono::steady_clock::time_point fakeNow{};
  std::vector<std::chrono::milliseconds> sleeps;
  RecordingPresenter presenter;
};

// The recursive walk of the find, failing two levels below the driver.
void showDir(const std::string& pParentName, const std::string& sParentPath) {
  trapInner(
      "mScanCD.ShowDir3_FillPreview(pParentName,sParentPath)",
      [&] {
        if (pParentName == "Old")
          throw AppError(errnum::kPathNotFound, kOwnErrorSource, "Path not found");
        showDir("Old", sParentPath + "Old/");
      },
      pParentName, sParentPath);
}

// Raises error from an event handler that takes the given parameters; returns the report.
template <typename... Params>
std::string reportFor(const AppError& error, std::string_view signature, const Params&... params) {
  trapEvent(
      signature, [&] { throw error; }, params...);
  return reportText();
}

TEST_F(ErrTrapTest, FailuresAreAppendedAsWholeEntriesOfValidUtf8) {
  mainWindowLoaded = true;
  EXPECT_FALSE(trapEvent("Form1.bnFillPreview_Click", [] { showDir("Data", "/data/"); }));
  mainWindowLoaded = false;

  const std::string trailer =
      joinLines({"", "Program path: /opt/zandrex", "Error report path: " + reportFolder});
  const std::string os = "OS: Windows XP 5.1 build 2600 (Service Pack 3)";
  const std::string first =
      joinLines({
          "Please send this file to support@zandrex.org",
          " ",
          "Path not found ",
          "  Time='12/05/26 14:03:09' App='Zandrex:2.0.0' ADO-version='?' Computer='OFFICE7' ",
          "  Method: mScanCD.ShowDir3_FillPreview ",
          "  Number: 76 = &H4C = vbObjectError + 2147221580 = ERRMAP_APP_FIRST + 2147216382 ",
          "  Source: Zandrex ",
          "  Description: Path not found",
      }) +
      padded("  Call Stack: mScanCD.ShowDir3_FillPreview(pParentName='Old', "
             "sParentPath='/data/Old/') ") +
      padded("  Call Stack: mScanCD.ShowDir3_FillPreview(pParentName='Data', "
             "sParentPath='/data/') ") +
      padded("  Call Stack: Form1.bnFillPreview_Click() ") + trailer +
      joinLines({"Error read file: ", "File name : Zandrex", os, "", ""});
  EXPECT_EQ(test::readFile(reportFile()), first);
  EXPECT_EQ(presenter.calls, std::vector<bool>{true});
  EXPECT_TRUE(lastReportWrite().written);
  EXPECT_EQ(lastReportWrite().path, reportFile());
  EXPECT_EQ(lastReportWrite().reason, "");
  EXPECT_EQ(currentError().number, errnum::kPathNotFound);
  EXPECT_EQ(currentError().source, kErrInSource);

  // The next entry has no request line; bytes that are not UTF-8 are escaped, and the padding
  // counts characters ("é" is one of two bytes), so the line looks 100 wide in an editor.
  CurrentReadFile() = "/data/caf\xC3\xA9-\xFF.jpg";
  const std::string report =
      reportFor(AppError(53, "Zandrex", "File not found"), "mX.Open(pName)", "caf\xC3\xA9.txt");
  EXPECT_TRUE(report.starts_with("File not found \r\n"));
  EXPECT_TRUE(report.ends_with("  Call Stack: mX.Open(pName='caf\xC3\xA9.txt') " +
                               std::string(60, '-') + kCrLf))
      << report;
  EXPECT_EQ(test::readFile(reportFile()),
            first + report + trailer +
                joinLines({"Error read file: /data/caf\xC3\xA9-\\xFF.jpg", "File name : Zandrex",
                           os, "", ""}));
  EXPECT_EQ(presenter.calls, (std::vector<bool>{true, false}));
}

TEST_F(ErrTrapTest, ParametersFollowTheirNamesAndLongValuesGoToBlocksUnderTheirLine) {
  const std::string text38(38, 'a');
  const std::string text39(39, 'b');
  trapEvent("Form1.Outer", [&] {
    trapInner(
        "mX.P(a,b,c,d,e)", [] { throw AppError(5, "Zandrex", "Bad call"); }, text38, text39,
        "one\r\ntwo", ParamValue::none(), 7, ParamValue::null());
  });
  // Values beyond the names are listed bare; a 39-character text goes to a block. A line end in
  // a value is escaped like every other control character, so the value stays on its line.
  EXPECT_TRUE(reportText().ends_with(padded("  Call Stack: mX.P(a='" + text38 +
                                            "', b={Text}, c='one\\r\\ntwo', d=, e=7, {Null}) ") +
                                     "    Value Of b:\r\n      '" + text39 + "'\r\n" +
                                     padded("  Call Stack: Form1.Outer() ")))
      << reportText();

  // Every other kind of value, in a line longer than the width that is not cut.
  reportFor(AppError(5, "S", "D"), "mX.Q(a)", ParamValue::empty(), -42, short{-1},
            std::uint64_t{1} << 40, 1.5, 0.1, 123456789.0, true, false,
            ParamValue::date("2026.12.05 14:03:09"), "it's", std::string(), ParamValue::array(),
            ParamValue::object("cCRC32"), ParamValue::object(""), ParamValue::other());
  EXPECT_TRUE(reportText().ends_with(
      "  Call Stack: mX.Q(a={Empty}, -42, -1, 1099511627776, 1.5, 0.1, 123456789, True, False, "
      "'2026.12.05 14:03:09', 'it's', '', {Array}, {cCRC32}, {Nothing}, {?}) \r\n"))
      << reportText();
  // Fewer values than names leave the rest out.
  reportFor(AppError(5, "S", "D"), "mX.P(a,b,c)", 1);
  EXPECT_TRUE(contains(reportText(), "  Call Stack: mX.P(a=1) "));
}

TEST_F(ErrTrapTest, HeaderShowsNumbersSystemTextsAndPercentSignsAsTheyAre) {
  const std::pair<AppError, std::string> cases[] = {
      {AppError(ERR_GENERAL, "Zandrex", "E"),
       "  Number: -2147216306 = &H8004144E = vbObjectError + 5198 = ERRMAP_APP_FIRST + 0 = "
       "ERR_GENERAL\r\n"},
      {AppError(vbObjectError + 1, "Zandrex", "E"),
       "  Number: -2147221503 = &H80040001 = vbObjectError + 1 = ERRMAP_APP_FIRST - 5197 \r\n"},
      // A "%" inside a value is never taken for a key, not even one replaced after it.
      {AppError(5, "%Descr%", "Disk %Time% full %nl%"),
       "  Source: %Descr% \r\n  Description: Disk %Time% full %nl%\r\n"},
      // The system's text loses its line ends and NULs; code 203 gets no line (nor does 0).
      {AppError(53, "Zandrex", "E", 2),
       "  Description: E\r\n  API Error: (2) The system cannot find the file specified.\r\n"
       "  Call Stack: "},
      {AppError(53, "Zandrex", "E", 99999), "  Description: E\r\n  API Error: (99999) \r\n"},
      {AppError(53, "Zandrex", "E", 203), "  Description: E\r\n  Call Stack: "}};
  for (const auto& [error, lines] : cases)
    EXPECT_TRUE(contains(reportFor(error, "Form1.X"), lines)) << reportText();
}

TEST_F(ErrTrapTest, InnerTrapRaisesTheNumberWithTheReportSoFarAndTheLineWhereItArose) {
  AppError located(76, "Zandrex", "Path not found");
  located.line = 12;
  const std::tuple<std::function<void()>, std::int32_t, std::string> cases[] = {
      {[] { throw std::bad_alloc(); }, errnum::kOutOfMemory, "Out of memory"},
      {[] { throw std::overflow_error("x"); }, errnum::kOverflow, "Overflow"},
      {[] { throw std::runtime_error("boom"); }, errnum::kInternal, "Internal error: boom"},
      {[] { throw 42; }, errnum::kInternal, "Internal error"},
      {[&] { throw located; }, 76, "Path not found"}};
  for (const auto& [thrower, number, description] : cases) {
    try {
      trapInner("mX.Inner(pName)", thrower, "a");
      ADD_FAILURE() << "trapInner must re-raise";
    } catch (const AppError& raised) {
      EXPECT_EQ(raised.number, number);
      EXPECT_EQ(raised.source, kErrInSource);
      EXPECT_EQ(raised.description, reportText());
      EXPECT_TRUE(raised.description.starts_with(description + " \r\n")) << raised.description;
    }
  }
  EXPECT_TRUE(contains(reportText(), "  Call Stack: mX.Inner(pName='a')  at Line 12 ---"));
  // The line shows only where the error arose.
  trapEvent("Form1.Outer", [&] { trapInner("mX.Inner", [&] { throw located; }); });
  EXPECT_TRUE(contains(reportText(), "  Call Stack: Form1.Outer() ---"));
}

TEST_F(ErrTrapTest, ErrPreserveKeepsTheFirstCaptureAndErrorInWithoutOneSaysSo) {
  for (const AppError& error :
       {AppError(53, "Zandrex", "first"), AppError(76, "Zandrex", "second")}) {
    try {
      throw error;
    } catch (...) {
      ErrPreserve();
    }
  }
  EXPECT_TRUE(preservedError().preserved);
  EXPECT_EQ(preservedError().number, 53);
  EXPECT_EQ(preservedError().helpContext, "0");
  ErrRestore();
  EXPECT_EQ(currentError().number, 53);
  EXPECT_EQ(currentError().description, "first");
  EXPECT_TRUE(preservedError().preserved);

  resetErrTrap();
  const std::string report = ErrorIn("mX.Careless", {}, errin::kEvent);
  EXPECT_EQ(report, reportText());
  EXPECT_TRUE(report.starts_with("ErrorIn: Error information was lost. To fix: call ErrPreserve "
                                 "before doing anything in error handler. \r\n"));
  EXPECT_EQ(currentError().number, ERR_GENERAL);
}

TEST_F(ErrTrapTest, SilentErrorsTravelWithoutReportFileOrWindow) {
  EXPECT_FALSE(IsSilentError(kSilentFirst - 1));
  EXPECT_TRUE(IsSilentError(kSilentFirst));
  EXPECT_TRUE(IsSilentError(kSilentLast));
  EXPECT_FALSE(IsSilentError(kSilentLast + 1));
  EXPECT_FALSE(trapEvent("Form1.Outer", [] {
    try {
      trapInner("mX.Inner", [] { throw AppError(kSilentLast, "Quiet", "shh"); });
    } catch (const AppError& error) {
      EXPECT_EQ(std::tie(error.number, error.source, error.description),
                std::tuple(kSilentLast, "Quiet", "shh"));
      throw;
    }
  }));
  EXPECT_TRUE(reportText().empty());
  EXPECT_FALSE(fs::exists(reportFolder));
  EXPECT_TRUE(presenter.calls.empty());
}

TEST_F(ErrTrapTest, MissingFoldersAreMadeForTheUserAloneAndOnlyAWrittenReportCountsAsWritten) {
  ReportWriteOutcome outcome;
  EXPECT_FALSE(WriteErrorReport(kErrorReportFileName, &outcome));
  EXPECT_EQ(outcome.reason, "there is no report to write");
  EXPECT_FALSE(fs::exists(reportFolder));

  // A fresh account: no documents folder, no report folder.
  reportFolder = temp.path() + "home/Documents/Zandrex";
  reportFor(AppError(53, "Zandrex", "File not found"), "Form1.X");
  EXPECT_TRUE(lastReportWrite().written) << lastReportWrite().reason;
  EXPECT_EQ(lastReportWrite().path, reportFile());
  EXPECT_TRUE(test::readFile(reportFile()).starts_with("Please send this file to "));
  const mode_t folderMode = 0700 & ~currentUmask();
  for (const char* made : {"home", "home/Documents", "home/Documents/Zandrex"})
    EXPECT_EQ(modeOf(temp.path() + made), folderMode) << made;
  EXPECT_EQ(modeOf(reportFile()), 0600 & ~currentUmask());

  // A documents folder that is a file: no claim of success, and the reason.
  const std::string documents = temp.write("other/Documents", "not a folder");
  reportFolder = documents + "/Zandrex";
  reportFor(AppError(53, "Zandrex", "File not found"), "Form1.X");
  EXPECT_FALSE(lastReportWrite().written);
  EXPECT_EQ(lastReportWrite().path, reportFile());
  EXPECT_EQ(lastReportWrite().error, ENOTDIR);
  EXPECT_EQ(lastReportWrite().reason,
            "cannot create the folder '" + reportFolder + "': Not a directory");
  EXPECT_EQ(test::readFile(documents), "not a folder");
  EXPECT_EQ(presenter.calls.size(), 2u); // the window shows all the same
  reportFolder = documents;              // the report folder itself a file
  EXPECT_FALSE(WriteErrorReport(kErrorReportFileName, &outcome));
  EXPECT_EQ(outcome.reason, "cannot create the folder '" + documents + "': Not a directory");

  // A folder that cannot be made even by root (/proc takes no new folders), an unknown one and
  // a relative one.
  reportFolder = "/proc/zandrex-no-such/Zandrex";
  EXPECT_FALSE(WriteErrorReport(kErrorReportFileName, &outcome));
  EXPECT_TRUE(outcome.reason.starts_with("cannot create the folder '/proc/zandrex-no-such': "))
      << outcome.reason;
  reportFolder = "";
  EXPECT_FALSE(WriteErrorReport(kErrorReportFileName, &outcome));
  EXPECT_EQ(outcome.reason, "the report folder is not known");
  EXPECT_EQ(outcome.path, "");
  reportFolder = "Documents/Zandrex";
  EXPECT_FALSE(WriteErrorReport(kErrorReportFileName, &outcome));
  EXPECT_EQ(outcome.reason, "the report folder 'Documents/Zandrex' is not an absolute path");
  EXPECT_FALSE(fs::exists("Documents/Zandrex"));
  EXPECT_TRUE(sleeps.empty());

  // A name with a folder is used as given; a file that cannot be opened is tried every 200 ms
  // for about a second.
  reportFolder = temp.path() + "Zandrex";
  fs::create_directories(reportFile());
  const std::string elsewhere = temp.path() + "new/other.txt";
  EXPECT_TRUE(WriteErrorReport(elsewhere));
  EXPECT_TRUE(test::readFile(elsewhere).starts_with("Please send this file to support@zandrex.org"
                                                    "\r\n \r\nFile not found \r\n"));
  EXPECT_FALSE(WriteErrorReport(kErrorReportFileName, &outcome));
  EXPECT_EQ(outcome.reason, "Is a directory");
  EXPECT_GE(sleeps.size(), 5u);
  EXPECT_LE(sleeps.size(), 7u);
  for (auto pause : sleeps)
    EXPECT_EQ(pause, std::chrono::milliseconds(200));
}

TEST_F(ErrTrapTest, OnlyARegularFileOfTheUsersOwnIsWrittenAndNeverThroughALink) {
  reportFor(AppError(53, "Zandrex", "File not found"), "Form1.X");
  ASSERT_TRUE(lastReportWrite().written);
  const std::string target = temp.write("target.txt", "someone's file");
  struct Case {
    const char* what;
    std::function<void()> plant;
    std::string reason;
  };
  const Case cases[] = {
      {"a link to a file", [&] { fs::create_symlink(target, reportFile()); },
       "refused: it is a symbolic link"},
      {"a link to nowhere", [&] { fs::create_symlink(temp.path() + "made", reportFile()); },
       "refused: it is a symbolic link"},
      // A FIFO would stall a plain open until someone reads it.
      {"a FIFO", [&] { ASSERT_EQ(::mkfifo(reportFile().c_str(), 0600), 0); },
       "No such device or address"},
  };
  for (const Case& c : cases) {
    fs::remove(reportFile());
    c.plant();
    sleeps.clear();
    ReportWriteOutcome outcome;
    EXPECT_FALSE(WriteErrorReport(kErrorReportFileName, &outcome)) << c.what;
    EXPECT_EQ(outcome.reason, c.reason) << c.what;
    EXPECT_EQ(outcome.path, reportFile()) << c.what;
    EXPECT_EQ(test::readFile(target), "someone's file") << c.what;
    EXPECT_FALSE(fs::exists(temp.path() + "made")) << c.what;
  }
  // Not a symbolic link but no file of its own either: refused after the open, nothing written.
  ReportWriteOutcome outcome;
  EXPECT_FALSE(WriteErrorReport("/dev/full", &outcome));
  EXPECT_EQ(outcome.reason, "refused: it is not a regular file");
  EXPECT_FALSE(WriteErrorReport("/dev/null", &outcome));
  EXPECT_EQ(outcome.reason, "refused: it is not a regular file");

  // Only root can hand a file to another user.
  if (::geteuid() != 0)
    return;
  fs::remove(reportFile());
  const std::string theirs = temp.write("Zandrex/ErrorReport.txt", "their report");
  ASSERT_EQ(::chown(theirs.c_str(), 65534, 65534), 0);
  EXPECT_FALSE(WriteErrorReport(kErrorReportFileName, &outcome));
  EXPECT_EQ(outcome.reason, "refused: it belongs to another user");
  EXPECT_EQ(test::readFile(theirs), "their report");
}

// A full disk cut short: the file may take a few bytes and then none. RLIMIT_FSIZE does that to
// a regular file (EFBIG once the limit is reached, SIGXFSZ ignored), for root as well.
TEST_F(ErrTrapTest, AWriteThatStopsShortIsAFailure) {
  reportFor(AppError(53, "Zandrex", "File not found"), "Form1.X");
  ASSERT_TRUE(lastReportWrite().written);
  const auto before = fs::file_size(reportFile());
  struct rlimit saved {};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
  const auto previous = std::signal(SIGXFSZ, SIG_IGN);
  struct rlimit limited = saved;
  limited.rlim_cur = before + 10;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limited), 0);
  ReportWriteOutcome outcome;
  const bool written = WriteErrorReport(kErrorReportFileName, &outcome);
  ::setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, previous);
  EXPECT_FALSE(written);
  EXPECT_EQ(outcome.error, EFBIG);
  EXPECT_EQ(outcome.reason, "File too large");
  // The first write took 10 bytes: only the loop that goes on hears of the failure.
  EXPECT_EQ(fs::file_size(reportFile()), before + 10);
}

TEST_F(ErrTrapTest, TheEscapeIsOneAndLosslessSoNoNameCanForgeALine) {
  const std::pair<std::string, std::string> table[] = {
      {"plain caf\xC3\xA9 \xE6\x97\xA5", "plain caf\xC3\xA9 \xE6\x97\xA5"},
      {"a\\b", "a\\\\b"},
      {"\\x41", "\\\\x41"}, // a literal "\x41" is not the escape of "A"
      {"line\nnext\r\n\ttab", "line\\nnext\\r\\n\\ttab"},
      {std::string("nul\0bel\adel\x7F", 12), "nul\\x00bel\\x07del\\x7F"},
      {"latin1 caf\xE9", "latin1 caf\\xE9"},
      {"c1 \xC2\x85 ls \xE2\x80\xA8", "c1 \\xC2\\x85 ls \\xE2\\x80\\xA8"},
      {"cut \xE6\x97", "cut \\xE6\\x97"},
  };
  for (const auto& [raw, escaped] : table) {
    EXPECT_EQ(escapeReportText(raw), escaped);
    EXPECT_EQ(unescaped(escaped), raw);
  }
  std::string everyByte;
  for (int byte = 0; byte < 256; ++byte)
    everyByte += static_cast<char>(byte);
  EXPECT_EQ(unescaped(escapeReportText(everyByte)), everyByte);

  // A name with a line of its own, a backslash, a literal "\x41", a stray byte and a control
  // byte: one line in the report, read back exactly.
  const std::string name = "evil\r\n  Call Stack: forged()\n\\x41\\\xFF\x01.txt";
  CurrentReadFile() = "/data/" + name;
  reportEnvironment().programFolder = [] { return std::string("/opt/a\nb"); };
  reportFor(AppError(53, "Zandrex", "File not found: " + name), "mX.Open(pName)", name);
  const std::string file = test::readFile(reportFile());
  const std::vector<std::string> lines = linesOf(file);
  ASSERT_EQ(lines.size(), 20u) << file;
  EXPECT_EQ(lines[2], "File not found: " + escapeReportText(name) + " ");
  EXPECT_EQ(lines[7], "  Description: File not found: " + escapeReportText(name));
  const std::string stack = "  Call Stack: mX.Open(pName={Text}) ";
  EXPECT_EQ(lines[8] + kCrLf, padded(stack));
  EXPECT_EQ(lines[9], "    Value Of pName:");
  EXPECT_EQ(lines[10], "      '" + escapeReportText(name) + "'");
  EXPECT_EQ(unescaped(lines[10].substr(7, lines[10].size() - 8)), name);
  EXPECT_EQ(lines[12], "Program path: /opt/a\\nb");
  ASSERT_TRUE(lines[14].starts_with("Error read file: "));
  EXPECT_EQ(unescaped(lines[14].substr(17)), "/data/" + name);
  for (const std::string& line : lines)
    unescaped(line); // no raw control byte anywhere, every backslash starts an escape
  EXPECT_EQ(std::count(file.begin(), file.end(), '\n'), 19);
}

TEST_F(ErrTrapTest, CallStackLinesArePaddedToAHundredCharactersOfTheEscapedText) {
  // Two-byte, three-byte and four-byte characters, a Latin-1 byte and a control byte.
  const std::string names[] = {"caf\xC3\xA9", "\xE6\x97\xA5\xE6\x9C\xAC", "\xF0\x9F\x93\x81",
                               "caf\xE9", "tab\there"};
  for (const std::string& name : names) {
    reportFor(AppError(53, "Zandrex", "File not found"), "mX.Open(pName)", name);
    const std::vector<std::string> lines = linesOf(reportText());
    ASSERT_GE(lines.size(), 2u);
    const std::string& line = lines[lines.size() - 2];
    EXPECT_EQ(line, "  Call Stack: mX.Open(pName='" + escapeReportText(name) + "') " +
                        std::string(100 - 32 - utf8CharacterCount(escapeReportText(name)), '-'));
    EXPECT_EQ(utf8CharacterCount(line), 100u) << line;
    EXPECT_TRUE(test::readFile(reportFile()).find(line + kCrLf) != std::string::npos) << line;
  }
}

} // namespace
} // namespace zandrex
