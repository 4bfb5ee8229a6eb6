#include "errors/err_trap.h"
#include "test_support.h"

#include <ctime>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <initializer_list>
#include <new>
#include <stdexcept>
#include <tuple>
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

// A call-stack line as the report pads it to 100 characters, with its line end.
std::string padded(const std::string& line) {
  return line + std::string(100 - line.size(), '-') + kCrLf;
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
        showDir("Old", sParentPath + "Old\\");
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
  EXPECT_FALSE(trapEvent("Form1.bnFillPreview_Click", [] { showDir("Data", "C:\\Data\\"); }));
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
          "  Call Stack: mScanCD.ShowDir3_FillPreview(pParentName='Old', "
          "sParentPath='C:\\Data\\Old\\') ----------",
          "  Call Stack: mScanCD.ShowDir3_FillPreview(pParentName='Data', "
          "sParentPath='C:\\Data\\') -------------",
          "  Call Stack: Form1.bnFillPreview_Click() "
          "----------------------------------------------------------",
      }) +
      trailer + joinLines({"Error read file: ", "File name : Zandrex", os, "", ""});
  EXPECT_EQ(test::readFile(reportFile()), first);
  EXPECT_EQ(presenter.calls, std::vector<bool>{true});
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
  // Values beyond the names are listed bare; a 39-character or multi-line text goes to a block.
  EXPECT_TRUE(reportText().ends_with(
      padded("  Call Stack: mX.P(a='" + text38 + "', b={Text}, c={Text}, d=, e=7, {Null}) ") +
      "    Value Of b:\r\n      '" + text39 + "'\r\n" +
      "    Value Of c:\r\n      'one\r\n      two'\r\n" + padded("  Call Stack: Form1.Outer() ")))
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

TEST_F(ErrTrapTest, ReportFileNeedsAReportOneNewFolderLevelAndAnOpenableFile) {
  EXPECT_FALSE(WriteErrorReport(kErrorReportFileName));
  EXPECT_FALSE(fs::exists(reportFolder));

  reportFolder = temp.path() + "no/such/Zandrex";
  reportFor(AppError(53, "Zandrex", "File not found"), "Form1.X");
  EXPECT_FALSE(fs::exists(temp.path() + "no"));
  EXPECT_EQ(presenter.calls.size(), 1u); // the window shows all the same

  // A name with a folder is used as given; a file that cannot be opened is tried every 200 ms
  // for about a second.
  reportFolder = temp.path() + "Zandrex";
  fs::create_directories(reportFile());
  const std::string elsewhere = temp.path() + "other.txt";
  EXPECT_TRUE(WriteErrorReport(elsewhere));
  EXPECT_TRUE(test::readFile(elsewhere).starts_with("Please send this file to support@zandrex.org"
                                                    "\r\n \r\nFile not found \r\n"));
  EXPECT_FALSE(WriteErrorReport(kErrorReportFileName));
  EXPECT_GE(sleeps.size(), 5u);
  EXPECT_LE(sleeps.size(), 7u);
  for (auto pause : sleeps)
    EXPECT_EQ(pause, std::chrono::milliseconds(200));
}

} // namespace
} // namespace zandrex
