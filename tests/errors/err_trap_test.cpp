#include "errors/err_trap.h"
#include "shellaid/loaded_windows.h"
#include "test_support.h"

#include <ctime>
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

// A call-stack line as the report pads it, with its line end.
std::string padded(const std::string& line) {
  return line + std::string(kCallStackWidth - line.size(), '-') + kCrLf;
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
  bool mainWindowLoaded = false;
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

TEST_F(ErrTrapTest, ThreeLevelFailureWritesTheCompleteEntryAndTheNextIsAppended) {
  mainWindowLoaded = true;
  const bool completed = bnFillPreview_Click();
  mainWindowLoaded = false;

  EXPECT_FALSE(completed);
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
  EXPECT_FALSE(preservedError().preserved);
  EXPECT_EQ(currentError().number, errnum::kPathNotFound);
  EXPECT_EQ(currentError().source, kErrInSource);

  // An existing file gets no first line; a procedure without parameters shows "()".
  CurrentReadFile() = "/data/photos/img_0001.jpg";
  const std::string report =
      reportFor(AppError(53, "Zandrex", "File not found"), "Form1.Command3_Click");
  EXPECT_TRUE(report.starts_with("File not found \r\n"));
  EXPECT_TRUE(contains(report, "  Method: Form1.Command3_Click \r\n"));
  EXPECT_TRUE(report.ends_with(padded("  Call Stack: Form1.Command3_Click() "))) << report;
  EXPECT_EQ(test::readFile(reportFile()),
            first + report + trailer +
                joinLines({"Error read file: /data/photos/img_0001.jpg", "File name : Zandrex", os,
                           "", ""}));
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
  // Values without a name are listed bare; a 39-character or multi-line text goes to a block.
  EXPECT_TRUE(reportText().ends_with(
      padded("  Call Stack: mX.P(a='" + text38 + "', b={Text}, c={Text}, d=, e=7, {Null}) ") +
      "    Value Of b:\r\n      '" + text39 + "'\r\n" +
      "    Value Of c:\r\n      'one\r\n      two'\r\n" + padded("  Call Stack: Form1.Outer() ")))
      << reportText();

  // Lines longer than the width are not cut; fewer values than names leave the rest out.
  reportFor(AppError(5, "S", "D"), "mX.Wide(a,b,c,d)", 1111111111, 2222222222, 3333333333,
            4444444444, 5555555555, 6666666666, 7777777777, 8888888888, 9999999999);
  EXPECT_TRUE(reportText().ends_with(
      "  Call Stack: mX.Wide(a=1111111111, b=2222222222, c=3333333333, d=4444444444, "
      "5555555555, 6666666666, 7777777777, 8888888888, 9999999999) \r\n"));
  reportFor(AppError(5, "S", "D"), "mX.P(a,b,c)", 1);
  EXPECT_TRUE(contains(reportText(), "  Call Stack: mX.P(a=1) "));
}

TEST_F(ErrTrapTest, PercentKeysInValuesAreNotReplaced) {
  const std::string report = reportFor(AppError(5, "%Comp%", "Disk %Time% full %nl%"), "Form1.X");
  EXPECT_TRUE(report.starts_with("Disk %Time% full %nl% \r\n")) << report;
  EXPECT_TRUE(contains(report, "  Source: %Comp% \r\n"));
  EXPECT_TRUE(contains(report, "  Description: Disk %Time% full %nl%\r\n"));
}

TEST_F(ErrTrapTest, NumberLineShowsHexAndSignedRelativeNumbers) {
  const std::pair<std::int32_t, const char*> numbers[] = {
      {53, "53 = &H35 = vbObjectError + 2147221557 = ERRMAP_APP_FIRST + 2147216359 "},
      {ERR_GENERAL,
       "-2147216306 = &H8004144E = vbObjectError + 5198 = ERRMAP_APP_FIRST + 0 = ERR_GENERAL"},
      {vbObjectError + 1,
       "-2147221503 = &H80040001 = vbObjectError + 1 = ERRMAP_APP_FIRST - 5197 "}};
  for (const auto& [number, line] : numbers)
    EXPECT_TRUE(contains(reportFor(AppError(number, "Zandrex", "E"), "Form1.X"),
                         "  Number: " + std::string(line) + kCrLf))
        << number;
}

TEST_F(ErrTrapTest, SystemErrorLineOnlyForMeaningfulCodes) {
  const auto reportWithSystemError = [&](std::uint32_t code) {
    return reportFor(AppError(53, "Zandrex", "File not found", code), "Form1.X");
  };
  EXPECT_FALSE(contains(reportWithSystemError(0), "API Error"));
  EXPECT_FALSE(contains(reportWithSystemError(203), "API Error"));
  EXPECT_TRUE(contains(reportWithSystemError(2),
                       "  Description: File not found\r\n"
                       "  API Error: (2) The system cannot find the file specified.\r\n"
                       "  Call Stack: "));
  EXPECT_TRUE(contains(reportWithSystemError(99999), "  API Error: (99999) \r\n"));
}

TEST_F(ErrTrapTest, InnerTrapRaisesTheSameNumberWithTheReportSoFarAndItsLine) {
  AppError error(76, "Zandrex", "Path not found");
  error.line = 12;
  try {
    trapInner(
        "mX.Inner(pName)", [&] { throw error; }, "a");
    FAIL() << "trapInner must re-raise";
  } catch (const AppError& raised) {
    EXPECT_EQ(raised.number, 76);
    EXPECT_EQ(raised.source, kErrInSource);
    EXPECT_EQ(raised.description, reportText());
    EXPECT_TRUE(raised.description.starts_with("Path not found \r\n"));
    EXPECT_TRUE(contains(raised.description, "  Call Stack: mX.Inner(pName='a')  at Line 12 ---"));
  }
  EXPECT_FALSE(preservedError().preserved);
  // The line shows only where the error arose.
  trapEvent("Form1.Outer", [&] { trapInner("mX.Inner", [&] { throw error; }); });
  EXPECT_TRUE(contains(reportText(), "  Call Stack: Form1.Outer() ---"));
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

TEST_F(ErrTrapTest, ErrPreserveKeepsTheFirstCaptureAndErrorInWithoutOneSaysSo) {
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

TEST_F(ErrTrapTest, WriteErrorReportNeedsAReportAndCreatesOneFolderLevelOnly) {
  EXPECT_FALSE(WriteErrorReport("ErrorReport.txt"));
  EXPECT_FALSE(fs::exists(reportFolder));

  reportFolder = temp.path() + "no/such/Zandrex";
  reportFor(AppError(53, "Zandrex", "File not found"), "Form1.X");
  EXPECT_FALSE(fs::exists(temp.path() + "no"));
  EXPECT_EQ(presenter.calls.size(), 1u);

  // A name with a folder is used as given.
  reportFolder = temp.path() + "Zandrex";
  const std::string elsewhere = temp.path() + "other.txt";
  EXPECT_TRUE(WriteErrorReport(elsewhere));
  EXPECT_TRUE(test::readFile(elsewhere).starts_with("Please send this file to support@zandrex.org"
                                                    "\r\n \r\nFile not found \r\n"));
}

TEST_F(ErrTrapTest, BytesThatAreNotUtf8AreEscapedInTheFile) {
  const std::string name = "caf\xC3\xA9-\xFF.txt"; // "é" is valid, 0xFF is not
  reportFor(AppError(53, "Zandrex", "File not found"), "mX.Open(pName)", name);
  const std::string file = test::readFile(reportFile());
  EXPECT_TRUE(contains(file, "pName='caf\xC3\xA9-\\xFF.txt'"));
  EXPECT_EQ(file.find('\xFF'), std::string::npos);

  // The padding counts characters, so the line looks 100 wide in an editor.
  const std::size_t start = reportText().find("  Call Stack: ");
  EXPECT_EQ(reportText().find(kCrLf, start) - start, kCallStackWidth + 1); // "é" takes two bytes
}

TEST(ParamValueTest, ReportTextsFollowTheValueTable) {
  const std::pair<ParamValue, const char*> values[] = {
      {ParamValue::none(), ""},
      {ParamValue::empty(), "{Empty}"},
      {ParamValue::null(), "{Null}"},
      {ParamValue(-42), "-42"},
      {ParamValue(short{-1}), "-1"},
      {ParamValue(std::uint64_t{1} << 40), "1099511627776"},
      {ParamValue(1.5), "1.5"},
      {ParamValue(0.1), "0.1"},
      {ParamValue(123456789.0), "123456789"},
      {ParamValue(true), "True"},
      {ParamValue(false), "False"},
      {ParamValue::date("2026.12.05 14:03:09"), "'2026.12.05 14:03:09'"},
      {ParamValue("it's"), "'it's'"},
      {ParamValue(std::string()), "''"},
      {ParamValue::array(), "{Array}"},
      {ParamValue::object("cCRC32"), "{cCRC32}"},
      {ParamValue::object(""), "{Nothing}"},
      {ParamValue::other(), "{?}"}};
  for (const auto& [value, text] : values)
    EXPECT_EQ(value.reportText(), text);
}

} // namespace
} // namespace zandrex
