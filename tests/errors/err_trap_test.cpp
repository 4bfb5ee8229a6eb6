#include "errors/err_trap.h"
#include "shellaid/loaded_windows.h"
#include "test_support.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <initializer_list>
#include <new>
#include <stdexcept>
#include <vector>

namespace zandrex {
namespace {

namespace fs = std::filesystem;

constexpr const char* kCrLf = "\r\n";
constexpr std::size_t kCallStackWidth = 100;

std::string joinLines(std::initializer_list<std::string> lines) {
  std::string text;
  for (const std::string& line : lines)
    text += line + kCrLf;
  return text;
}

std::tm reportTime() {
  std::tm time{};
  time.tm_year = 2026 - 1900;
  time.tm_mon = 11; // December
  time.tm_mday = 5;
  time.tm_hour = 14;
  time.tm_min = 3;
  time.tm_sec = 9;
  return time;
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
    env.localNow = reportTime;
    env.computerName = [] { return std::string("OFFICE7"); };
    env.appName = [] { return std::string("Zandrex"); };
    env.programFolder = [] { return std::string("/opt/zandrex"); };
    env.reportFolder = [this] { return reportFolder; };
    env.osLine = [] { return std::string("Windows XP 5.1 build 2600 (Service Pack 3)"); };
    env.systemMessage = [](std::uint32_t code) -> std::string {
      if (code == 2)
        return std::string("The system cannot find\0 the file specified.\r\n", 45);
      return {};
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
  std::chrono::steady_clock::time_point fakeNow{};
  std::vector<std::chrono::milliseconds> sleeps;
  RecordingPresenter presenter;
};

// The recursive walk of the scan, failing two levels below the scan driver.
void ShowDir3_FillPreview(const std::string& pParentName, const std::string& sParentPath) {
  trapInner(
      "mScanCD.ShowDir3_FillPreview(pParentName,sParentPath)",
      [&] {
        if (pParentName == "Old")
          throw AppError(errnum::kPathNotFound, kOwnErrorSource, "Path not found");
        ShowDir3_FillPreview("Old", sParentPath + "Old\\");
      },
      pParentName, sParentPath);
}

bool bnFillPreview_Click() {
  return trapEvent("Form1.bnFillPreview_Click", [] { ShowDir3_FillPreview("Data", "C:\\Data\\"); });
}

// Raises error from an event handler that takes the given parameters; returns the report.
template <typename... Params>
std::string reportFor(const AppError& error, std::string_view signature, const Params&... params) {
  trapEvent(
      signature, [&] { throw error; }, params...);
  return reportText();
}

std::string entryFor(const std::string& reportFolder, const std::string& report) {
  return report + kCrLf +
         joinLines({"Program path: /opt/zandrex", "Error report path: " + reportFolder,
                    "Error read file: " + CurrentReadFile(), "File name : Zandrex",
                    "OS: Windows XP 5.1 build 2600 (Service Pack 3)", "", ""});
}

TEST_F(ErrTrapTest, ThreeLevelFailureWritesTheCompleteEntryToANewFile) {
  markWindowLoaded("Form1");
  const bool completed = bnFillPreview_Click();
  markWindowUnloaded("Form1");

  EXPECT_FALSE(completed);
  const std::string expected = joinLines({
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
      "  Call Stack: mScanCD.ShowDir3_FillPreview(pParentName='Data', sParentPath='C:\\Data\\') "
      "-------------",
      "  Call Stack: Form1.bnFillPreview_Click() "
      "----------------------------------------------------------",
      "",
      "Program path: /opt/zandrex",
      "Error report path: " + reportFolder,
      "Error read file: ",
      "File name : Zandrex",
      "OS: Windows XP 5.1 build 2600 (Service Pack 3)",
      "",
      "",
  });
  EXPECT_EQ(test::readFile(reportFile()), expected);
  EXPECT_EQ(presenter.calls, std::vector<bool>{true});
  EXPECT_FALSE(preservedError().preserved);
  EXPECT_EQ(currentError().number, errnum::kPathNotFound);
  EXPECT_EQ(currentError().source, kErrInSource);
}

TEST_F(ErrTrapTest, CallStackLinesAreExactlyOneHundredCharactersUnlessLonger) {
  bnFillPreview_Click();
  std::size_t lines = 0;
  for (std::size_t start = 0; start < reportText().size();) {
    const std::size_t end = reportText().find(kCrLf, start);
    const std::string line = reportText().substr(start, end - start);
    if (line.starts_with("  Call Stack: ")) {
      EXPECT_EQ(line.size(), kCallStackWidth) << line;
      ++lines;
    }
    start = end + 2;
  }
  EXPECT_EQ(lines, 3u);

  const std::string longValue(120, 'x');
  reportFor(AppError(5, "S", "D"), "mX.P(a,b)", 1, 2, 3, longValue);
  EXPECT_NE(reportText().find("  Call Stack: mX.P(a=1, b=2, 3, {Text}) -"), std::string::npos);

  reportFor(AppError(5, "S", "D"), "mX.Wide(a,b,c,d)", 1111111111, 2222222222, 3333333333,
            4444444444, 5555555555, 6666666666, 7777777777, 8888888888, 9999999999);
  const std::string line = reportText().substr(reportText().find("  Call Stack: "));
  EXPECT_EQ(line, "  Call Stack: mX.Wide(a=1111111111, b=2222222222, c=3333333333, d=4444444444, "
                  "5555555555, 6666666666, 7777777777, 8888888888, 9999999999) \r\n");
}

TEST_F(ErrTrapTest, ASecondReportIsAppendedWithoutTheFirstLine) {
  bnFillPreview_Click();
  const std::string first = test::readFile(reportFile());

  CurrentReadFile() = "/data/photos/img_0001.jpg";
  const std::string report =
      reportFor(AppError(53, "Zandrex", "File not found"), "Form1.Command3_Click");
  const std::string expected = first + entryFor(reportFolder, report);
  EXPECT_EQ(test::readFile(reportFile()), expected);
  EXPECT_EQ(presenter.calls, (std::vector<bool>{false, false}));
}

TEST_F(ErrTrapTest, ProcedureWithoutParametersShowsEmptyParentheses) {
  const std::string report = reportFor(AppError(5, "Zandrex", "Bad call"), "Form1.Command3_Click");
  const std::string line = "  Call Stack: Form1.Command3_Click() ";
  EXPECT_TRUE(report.ends_with(line + std::string(kCallStackWidth - line.size(), '-') + kCrLf))
      << report;
  EXPECT_NE(report.find("  Method: Form1.Command3_Click \r\n"), std::string::npos);
}

TEST_F(ErrTrapTest, LongAndMultiLineValuesGoToValueOfBlocks) {
  const std::string text38(38, 'a');
  const std::string text39(39, 'b');
  const std::string report = reportFor(AppError(5, "Zandrex", "Bad call"), "mX.P(a,b,c,d)", text38,
                                       text39, "one\r\ntwo", 7);
  const std::string callStack = "  Call Stack: mX.P(a='" + text38 + "', b={Text}, c={Text}, d=7) ";
  const std::string expectedTail = callStack +
                                   std::string(kCallStackWidth - callStack.size(), '-') + kCrLf +
                                   "    Value Of b:\r\n      '" + text39 + "'\r\n" +
                                   "    Value Of c:\r\n      'one\r\n      two'\r\n";
  EXPECT_TRUE(report.ends_with(expectedTail)) << report;
}

TEST_F(ErrTrapTest, ValueBlocksStayUnderTheirOwnCallStackLine) {
  const std::string longPath = "/home/user/a folder with a rather long name/";
  std::string report;
  trapEvent("Form1.Outer", [&] {
    trapInner(
        "mX.Inner(pPath)", [] { throw AppError(53, "Zandrex", "File not found"); }, longPath);
  });
  report = reportText();
  const std::size_t inner = report.find("  Call Stack: mX.Inner(pPath={Text}) ");
  const std::size_t block = report.find("    Value Of pPath:\r\n      '" + longPath + "'\r\n");
  const std::size_t outer = report.find("  Call Stack: Form1.Outer() ");
  ASSERT_NE(inner, std::string::npos);
  ASSERT_NE(block, std::string::npos);
  ASSERT_NE(outer, std::string::npos);
  EXPECT_LT(inner, block);
  EXPECT_LT(block, outer);
}

TEST_F(ErrTrapTest, PercentKeysInValuesAreNotReplaced) {
  const std::string report = reportFor(AppError(5, "%Comp%", "Disk %Time% full %nl%"), "Form1.X");
  EXPECT_TRUE(report.starts_with("Disk %Time% full %nl% \r\n")) << report;
  EXPECT_NE(report.find("  Source: %Comp% \r\n"), std::string::npos);
  EXPECT_NE(report.find("  Description: Disk %Time% full %nl%\r\n"), std::string::npos);
}

TEST_F(ErrTrapTest, NumberLineShowsHexAndRelativeNumbers) {
  EXPECT_NE(reportFor(AppError(53, "Zandrex", "File not found"), "Form1.X")
                .find("  Number: 53 = &H35 = vbObjectError + 2147221557 = ERRMAP_APP_FIRST + "
                      "2147216359 \r\n"),
            std::string::npos);
  EXPECT_NE(reportFor(AppError(ERR_GENERAL, "Zandrex", "General"), "Form1.X")
                .find("  Number: -2147216306 = &H8004144E = vbObjectError + 5198 = "
                      "ERRMAP_APP_FIRST + 0 = ERR_GENERAL\r\n"),
            std::string::npos);
  EXPECT_NE(reportFor(AppError(vbObjectError + 1, "Zandrex", "App"), "Form1.X")
                .find("  Number: -2147221503 = &H80040001 = vbObjectError + 1 = "
                      "ERRMAP_APP_FIRST - 5197 \r\n"),
            std::string::npos);
}

TEST_F(ErrTrapTest, SystemErrorLineOnlyForMeaningfulCodes) {
  const auto reportWithSystemError = [&](std::uint32_t code) {
    return reportFor(AppError(53, "Zandrex", "File not found", code), "Form1.X");
  };
  EXPECT_EQ(reportWithSystemError(0).find("API Error"), std::string::npos);
  EXPECT_EQ(reportWithSystemError(203).find("API Error"), std::string::npos);
  EXPECT_NE(reportWithSystemError(2).find(
                "  Description: File not found\r\n"
                "  API Error: (2) The system cannot find the file specified.\r\n  Call Stack: "),
            std::string::npos);
  EXPECT_NE(reportWithSystemError(99999).find("  API Error: (99999) \r\n"), std::string::npos);
}

TEST_F(ErrTrapTest, LineNumberIsShownWhereTheErrorArose) {
  AppError error(5, "Zandrex", "Bad call");
  error.line = 12;
  trapEvent("Form1.Outer", [&] { trapInner("mX.Inner", [&] { throw error; }); });
  EXPECT_NE(reportText().find("  Call Stack: mX.Inner()  at Line 12 ---"), std::string::npos);
  EXPECT_NE(reportText().find("  Call Stack: Form1.Outer() ---"), std::string::npos);
}

TEST_F(ErrTrapTest, InnerTrapRaisesTheSameNumberWithTheReportSoFar) {
  try {
    trapInner(
        "mX.Inner(pName)", [] { throw AppError(76, "Zandrex", "Path not found"); }, "a");
    FAIL() << "trapInner must re-raise";
  } catch (const AppError& error) {
    EXPECT_EQ(error.number, 76);
    EXPECT_EQ(error.source, kErrInSource);
    EXPECT_EQ(error.description, reportText());
    EXPECT_TRUE(error.description.starts_with("Path not found \r\n"));
  }
  EXPECT_FALSE(preservedError().preserved);
}

TEST_F(ErrTrapTest, ForeignExceptionsAreTranslated) {
  const auto expectTranslated = [](auto thrower, std::int32_t number, const std::string& text) {
    try {
      trapInner("mX.P", thrower);
      ADD_FAILURE() << "not raised";
    } catch (const AppError& error) {
      EXPECT_EQ(error.number, number);
      EXPECT_TRUE(error.description.starts_with(text + " \r\n")) << error.description;
    }
  };
  expectTranslated([] { throw std::bad_alloc(); }, errnum::kOutOfMemory, "Out of memory");
  expectTranslated([] { throw std::overflow_error("x"); }, errnum::kOverflow, "Overflow");
  expectTranslated([] { throw std::runtime_error("boom"); }, errnum::kInternal,
                   "Internal error: boom");
  expectTranslated([] { throw 42; }, errnum::kInternal, "Internal error");
}

TEST_F(ErrTrapTest, ErrPreserveKeepsTheFirstCapture) {
  try {
    throw AppError(53, "Zandrex", "first");
  } catch (...) {
    ErrPreserve();
    try {
      throw AppError(76, "Zandrex", "second");
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
}

TEST_F(ErrTrapTest, ErrorInWithoutAnErrorReportsLostInformation) {
  const std::string report = ErrorIn("mX.Careless", {}, errin::kEvent);
  EXPECT_EQ(report, reportText());
  EXPECT_TRUE(report.starts_with("ErrorIn: Error information was lost. To fix: call ErrPreserve "
                                 "before doing anything in error handler. \r\n"));
  EXPECT_NE(report.find("  Number: -2147216306 = &H8004144E = vbObjectError + 5198 = "
                        "ERRMAP_APP_FIRST + 0 = ERR_GENERAL\r\n"),
            std::string::npos);
  EXPECT_EQ(currentError().number, ERR_GENERAL);
}

TEST_F(ErrTrapTest, SilentErrorsTravelWithoutReportFileOrWindow) {
  EXPECT_FALSE(IsSilentError(kSilentFirst - 1));
  EXPECT_TRUE(IsSilentError(kSilentFirst));
  EXPECT_TRUE(IsSilentError(kSilentLast));
  EXPECT_FALSE(IsSilentError(ERR_GENERAL));

  try {
    trapInner("mX.Inner", [] { throw AppError(kSilentLast, "Quiet", "shh"); });
    FAIL() << "a silent error must still be raised";
  } catch (const AppError& error) {
    EXPECT_EQ(error.number, kSilentLast);
    EXPECT_EQ(error.source, "Quiet");
    EXPECT_EQ(error.description, "shh");
  }

  EXPECT_FALSE(trapEvent("Form1.Outer", [] {
    trapInner("mX.Inner", [] { throw AppError(kSilentFirst, "Quiet", "shh"); });
  }));
  EXPECT_TRUE(reportText().empty());
  EXPECT_FALSE(fs::exists(reportFolder));
  EXPECT_TRUE(presenter.calls.empty());
}

TEST_F(ErrTrapTest, UnopenableReportFileIsRetriedForASecondThenGivenUp) {
  fs::create_directories(reportFile()); // a folder where the file should be: open always fails
  reportFor(AppError(53, "Zandrex", "File not found"), "Form1.X");

  ASSERT_GE(sleeps.size(), 5u);
  for (auto pause : sleeps)
    EXPECT_EQ(pause, std::chrono::milliseconds(200));
  EXPECT_LE(sleeps.size() * 200, 1400u);
  EXPECT_TRUE(fs::is_empty(reportFile()));
  EXPECT_EQ(presenter.calls.size(), 1u);
  EXPECT_FALSE(WriteErrorReport("ErrorReport.txt"));
}

TEST_F(ErrTrapTest, MissingReportFolderParentMakesWritingFailQuietly) {
  reportFolder = temp.path() + "no/such/Zandrex"; // only one level is ever created
  reportFor(AppError(53, "Zandrex", "File not found"), "Form1.X");
  EXPECT_FALSE(fs::exists(temp.path() + "no"));
  EXPECT_EQ(presenter.calls.size(), 1u);
}

TEST_F(ErrTrapTest, WriteErrorReportNeedsAReport) {
  EXPECT_FALSE(WriteErrorReport("ErrorReport.txt"));
  EXPECT_FALSE(fs::exists(reportFolder));
}

TEST_F(ErrTrapTest, FileNameWithAFolderIsUsedAsGiven) {
  reportFor(AppError(53, "Zandrex", "File not found"), "Form1.X");
  const std::string elsewhere = temp.path() + "other.txt";
  EXPECT_TRUE(WriteErrorReport(elsewhere));
  EXPECT_TRUE(test::readFile(elsewhere).starts_with("Please send this file to support@zandrex.org"
                                                    "\r\n \r\nFile not found \r\n"));
}

TEST_F(ErrTrapTest, BytesThatAreNotUtf8AreEscapedInTheFile) {
  const std::string name = "caf\xC3\xA9-\xFF.txt"; // "é" is valid, 0xFF is not
  reportFor(AppError(53, "Zandrex", "File not found"), "mX.Open(pName)", name);
  const std::string file = test::readFile(reportFile());
  EXPECT_NE(file.find("pName='caf\xC3\xA9-\\xFF.txt'"), std::string::npos);
  EXPECT_EQ(file.find('\xFF'), std::string::npos);

  // The padding counts characters, so the line looks 100 wide in an editor.
  const std::size_t start = reportText().find("  Call Stack: ");
  const std::string line = reportText().substr(start, reportText().find(kCrLf, start) - start);
  EXPECT_EQ(line.size(), kCallStackWidth + 1); // "é" takes two bytes
}

TEST(ParamValueTest, ReportTextsFollowTheValueTable) {
  EXPECT_EQ(ParamValue::none().reportText(), "");
  EXPECT_EQ(ParamValue::empty().reportText(), "{Empty}");
  EXPECT_EQ(ParamValue::null().reportText(), "{Null}");
  EXPECT_EQ(ParamValue(-42).reportText(), "-42");
  EXPECT_EQ(ParamValue(short{-1}).reportText(), "-1");
  EXPECT_EQ(ParamValue(std::uint64_t{1} << 40).reportText(), "1099511627776");
  EXPECT_EQ(ParamValue(1.5).reportText(), "1.5");
  EXPECT_EQ(ParamValue(0.1).reportText(), "0.1");
  EXPECT_EQ(ParamValue(123456789.0).reportText(), "123456789");
  EXPECT_EQ(ParamValue(true).reportText(), "True");
  EXPECT_EQ(ParamValue(false).reportText(), "False");
  EXPECT_EQ(ParamValue::date("2026.12.05 14:03:09").reportText(), "'2026.12.05 14:03:09'");
  EXPECT_EQ(ParamValue("it's").reportText(), "'it's'");
  EXPECT_EQ(ParamValue(std::string()).reportText(), "''");
  EXPECT_EQ(ParamValue::array().reportText(), "{Array}");
  EXPECT_EQ(ParamValue::object("cCRC32").reportText(), "{cCRC32}");
  EXPECT_EQ(ParamValue::object("").reportText(), "{Nothing}");
  EXPECT_EQ(ParamValue::other().reportText(), "{?}");
}

TEST_F(ErrTrapTest, ValuesAndNamesAreMatchedByPosition) {
  reportFor(AppError(5, "S", "D"), "mX.P(a,b,c)", ParamValue::none(), ParamValue::null());
  EXPECT_NE(reportText().find("  Call Stack: mX.P(a=, b={Null}) "), std::string::npos);
}

} // namespace
} // namespace zandrex
