// The main window on the offscreen platform: its controls and stored choices, finds in every
// mode, "Cancel" during a walk, the system-folder warning and closing during a run.
#include "form1_fixture.h"
#include "shellaid/loaded_windows.h"
#include "source/special_folders.h"
#include "warning_window.h"

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QStatusBar>
#include <QTimer>
#include <QTreeView>

namespace zandrex::desktop {
namespace {

class MainWindowTest : public Form1Fixture {
protected:
  void SetUp() override {
    // Files whose duplicates differ by mode (sizes in bytes):
    //   a/photo.jpg 4 "AAAA"   b/Photo.JPG 4 "AAAA"   c/other.txt 4 "BBBB"
    //   a/same.txt 2           b/same.txt 3           d/unique.bin 9
    tree.write("data/a/photo.jpg", "AAAA");
    tree.write("data/b/Photo.JPG", "AAAA");
    tree.write("data/c/other.txt", "BBBB");
    tree.write("data/a/same.txt", "XY");
    tree.write("data/b/same.txt", "XYZ");
    tree.write("data/d/unique.bin", "123456789");
  }
  void TearDown() override { setSpecialFolderOverride({}); }

  std::string stored(const char* section, const char* key) {
    return settings->GetSetting(kAppTitle, section, key, "<absent>");
  }
  void save(const char* section, const char* key, const std::string& value) {
    settings->SaveSetting(kAppTitle, section, key, value);
  }
  bool deleteEnabled() { return control("Command4")->isEnabled(); }
  QCheckBox* subfolders() { return control<QCheckBox>("chSubfolders"); }
  QComboBox* modes() { return control<QComboBox>("cmbBy"); }
};

TEST_F(MainWindowTest, FirstStartShowsTheDesignAndTheDefaults) {
  Form1& window = open();
  EXPECT_EQ(window.windowTitle(), "Zandrex");
  EXPECT_TRUE(isLoad("Form1"));
  auto* source = control<QLineEdit>("fdFromForRename");
  EXPECT_EQ(source->text(), "");
  EXPECT_TRUE(source->isReadOnly());
  EXPECT_EQ(subfolders()->checkState(), Qt::Checked);
  ASSERT_EQ(modes()->count(), 4);
  for (int k = 0; k < 4; ++k)
    EXPECT_EQ(modes()->itemText(k), kComparisonItems[k]);
  EXPECT_EQ(modes()->currentIndex(), 0);
  EXPECT_EQ(window.statusText(), "0 files");
  EXPECT_FALSE(deleteEnabled());
  EXPECT_TRUE(control("Command4")->font().bold());
  EXPECT_FALSE(control<QPlainTextEdit>("Text1")->isVisible());
  EXPECT_EQ(control<QPlainTextEdit>("Text1")->toPlainText(), "Please wait...");
  const char* names[] = {"Command2", "Command3", "bnCancel", "bnAbout",
                         "lblprb1",  "lblprb2",  "Command4"};
  const char* captions[] = {
      "...", "Find", "Cancel", "About", "Searching:", "Deleting:", "Delete selected files"};
  for (std::size_t k = 0; k < std::size(names); ++k)
    EXPECT_EQ(control<QWidget>(names[k])->property("text").toString(), captions[k]);
  EXPECT_EQ(control<QWidget>("Frame6")->property("title").toString(), "Disk or folder");
  auto* grid = control<QTreeView>("ReportControl1");
  ASSERT_EQ(grid->model()->columnCount(), 7);
  const char* headers[] = {"Path", "File", "Size", "Date", "File", "Checksum", "Content"};
  for (int k = 0; k < 7; ++k) {
    EXPECT_EQ(grid->model()->headerData(k, Qt::Horizontal).toString(), headers[k]);
    EXPECT_EQ(grid->isColumnHidden(k), k >= 4) << k;
  }
  form.reset();
  EXPECT_FALSE(isLoad("Form1"));
}

TEST_F(MainWindowTest, StoredChoicesAreRestoredAndSavedAtUnload) {
  save("Path", "Path", tree.path());
  save("Path", "Subfolders", "0");
  save("Settings", "Find duplicates by", "1");
  Form1& window = open();
  EXPECT_EQ(control<QLineEdit>("fdFromForRename")->text().toStdString(), tree.path());
  EXPECT_EQ(window.core().source(), tree.path());
  EXPECT_EQ(subfolders()->checkState(), Qt::Unchecked);
  EXPECT_EQ(modes()->currentIndex(), 1);

  // Unload writes the source back even though the browse dialog was never used.
  save("Path", "Path", "overwritten");
  modes()->setCurrentIndex(3);
  subfolders()->click();
  EXPECT_TRUE(window.close());
  EXPECT_FALSE(isLoad("Form1"));
  EXPECT_EQ(stored("Path", "Path"), tree.path());
  EXPECT_EQ(stored("Path", "Subfolders"), "1");
  EXPECT_EQ(stored("Settings", "Find duplicates by"), "3");

  // The values reach the file, and a new window shows them.
  form.reset();
  settings = std::make_unique<QtSettings>(settingsFile());
  open();
  EXPECT_EQ(modes()->currentIndex(), 3);
  EXPECT_EQ(subfolders()->checkState(), Qt::Checked);
}

TEST_F(MainWindowTest, InvalidStoredValuesFallBackAndGreyedOnesSurviveARun) {
  save("Path", "Subfolders", "yes");
  save("Settings", "Find duplicates by", "7");
  Form1& first = open();
  EXPECT_EQ(subfolders()->checkState(), Qt::Checked);
  EXPECT_EQ(modes()->currentIndex(), 0);
  EXPECT_EQ(first.statusText(), "0 files");

  // A greyed box and no mode are valid values of their own.
  form.reset();
  save("Path", "Subfolders", "2");
  save("Settings", "Find duplicates by", "-1");
  Form1& window = open();
  EXPECT_EQ(subfolders()->checkState(), Qt::PartiallyChecked);
  EXPECT_EQ(window.subfoldersValue(), 2);
  EXPECT_EQ(window.comparisonIndex(), -1);
  window.close();
  EXPECT_EQ(stored("Path", "Subfolders"), "2");
  EXPECT_EQ(stored("Settings", "Find duplicates by"), "-1");
}

TEST_F(MainWindowTest, BrowsingSetsTheSourceWithOneSlashAndCancellingKeepsIt) {
  Form1& window = open();
  auto* box = control<QLineEdit>("fdFromForRename");
  choose("");
  EXPECT_EQ(box->text(), "");
  EXPECT_EQ(window.core().source(), "");

  const std::string folder = tree.path() + "data";
  choose(folder);
  EXPECT_EQ(box->text().toStdString(), folder + "/");
  EXPECT_EQ(window.core().source(), folder + "/");
  EXPECT_EQ(window.core().source(), folder + "/");
  choose("");
  EXPECT_EQ(window.core().source(), folder + "/");
  choose("/");
  EXPECT_EQ(window.core().source(), "/");
  EXPECT_EQ(chooserCalls, 4);
}

TEST_F(MainWindowTest, FindGroupsByEachModeAndEnablesDeleteOnlyWithRows) {
  Form1& window = open();
  choose(tree.path() + "data");
  // filename: photo.jpg x2, same.txt x2; size: the three 4-byte files; filename and size:
  // photo.jpg x2; content: the two "AAAA" files.
  const std::pair<int, int> groupsAndFiles[] = {{2, 4}, {1, 3}, {1, 2}, {1, 2}};
  for (int mode = 0; mode < 4; ++mode) {
    find(mode);
    EXPECT_EQ(groups(), groupsAndFiles[mode].first) << mode;
    EXPECT_EQ(filesListed(), groupsAndFiles[mode].second) << mode;
    EXPECT_EQ(window.statusText().toStdString(),
              std::to_string(groupsAndFiles[mode].second) + " files");
    EXPECT_TRUE(deleteEnabled()) << mode;
    EXPECT_TRUE(control<QTreeView>("ReportControl1")->isVisible());
    EXPECT_FALSE(control<QPlainTextEdit>("Text1")->isVisible());
    auto* bar = control<QProgressBar>("ProgressBar1");
    EXPECT_EQ(bar->value(), bar->maximum()) << mode;
  }
  // Every group is expanded with its heading across the row.
  auto* grid = control<QTreeView>("ReportControl1");
  EXPECT_TRUE(grid->isExpanded(grid->model()->index(0, 0)));
  EXPECT_TRUE(grid->isFirstColumnSpanned(0, QModelIndex()));
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);

  // d/ holds a namesake one level down: found with "Subfolders", not without.
  tree.write("data/d/sub/unique.bin", "x");
  choose(tree.path() + "data/d");
  find(ByName);
  EXPECT_EQ(groups(), 1);
  subfolders()->click();
  find(ByName);
  EXPECT_EQ(groups(), 0);
  EXPECT_FALSE(deleteEnabled());
  EXPECT_TRUE(grid->isVisible());
}

TEST_F(MainWindowTest, CancelOrCloseDuringTheWalkEndItAndOtherCommandsAreIgnored) {
  for (int k = 0; k < 200; ++k)
    tree.write("data/many/f" + std::to_string(k) + ".txt", "x");
  Form1& window = open();
  choose(tree.path() + "data");
  find(ByName);
  ASSERT_GT(groups(), 0);

  int passes = 0;
  window.onEventPass = [&] {
    if (++passes != 50)
      return;
    // While the walk runs, these presses are ignored; "Cancel" is not.
    for (const char* ignored : {"Command2", "Command3", "Command4"})
      click(ignored);
    EXPECT_TRUE(window.core().busy());
    click("bnCancel");
  };
  find(BySize);
  EXPECT_GE(passes, 50);
  EXPECT_EQ(chooserCalls, 1);
  EXPECT_EQ(groups(), 0);
  EXPECT_EQ(window.statusText(), "0 files");
  EXPECT_FALSE(deleteEnabled());
  EXPECT_FALSE(window.core().busy());
  EXPECT_FALSE(window.core().cancelRequested());
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);

  // A press of "Cancel" reaches the walk through the event loop itself.
  window.onEventPass = {};
  window.eventPump().setCallsPerClockRead(1);
  window.eventPump().setInterval(std::chrono::milliseconds(0));
  QTimer::singleShot(0, &window, [this] { click("bnCancel"); });
  find(ByName);
  EXPECT_EQ(groups(), 0);
  EXPECT_EQ(window.statusText(), "0 files");

  // Closing during a find cancels it; the window closes when the find returns.
  bool closedAtOnce = true;
  window.onEventPass = [&] {
    if (window.isVisible())
      closedAtOnce = window.close();
  };
  find(ByName);
  EXPECT_FALSE(closedAtOnce);
  EXPECT_FALSE(window.isVisible());
  EXPECT_FALSE(window.core().busy());
  EXPECT_EQ(stored("Settings", "Find duplicates by"), "0");
  EXPECT_FALSE(isLoad("Form1"));
}

// The real "Warning" window, opened by the scan driver: "NO!" leaves the grid as it was.
TEST_F(MainWindowTest, DecliningTheWarningLeavesTheGridAsItWasAndYesScans) {
  const std::string programs = tree.mkdir("programs");
  const std::string noSlash = programs.substr(0, programs.size() - 1);
  setSpecialFolderOverride([&](int number) {
    return number == CSIDL_PROGRAM_FILES ? noSlash : std::string("/nonexistent-system");
  });
  tree.write("programs/x/photo.jpg", "AAAA");
  tree.write("programs/y/photo.jpg", "AAAA");
  open(true);
  choose(tree.path() + "data");
  find(ByName);
  const int before = groups();
  ASSERT_GT(before, 0);

  QString shownList;
  const auto answer = [&](bool yes) {
    QTimer::singleShot(0, [&shownList, yes] {
      auto* warning = qobject_cast<Form4*>(QApplication::activeModalWidget());
      ASSERT_NE(warning, nullptr);
      shownList = warning->fdSystemFolders()->toPlainText();
      (yes ? warning->bnOK() : warning->bnCancel())->click();
    });
  };
  choose(programs + "x");
  answer(false);
  find(ByName);
  EXPECT_EQ(shownList.toStdString(), noSlash + "\n");
  EXPECT_EQ(groups(), before);
  EXPECT_TRUE(deleteEnabled());

  choose(programs);
  answer(true);
  find(ByName);
  EXPECT_EQ(groups(), 1);
  EXPECT_EQ(filesListed(), 2);
}

// The numbers are the pure layout's (main_window_layout_test); this checks the window applies it.
TEST_F(MainWindowTest, ResizingKeepsTheBandAlongTheGridAndPleaseWaitOverIt) {
  Form1& window = open();
  const QRect frame = control<QWidget>("Frame6")->geometry();
  window.resize(window.width() + 200, window.height() + 150);
  QApplication::processEvents();
  auto* grid = control<QTreeView>("ReportControl1");
  const QRect gridRect = grid->geometry();
  EXPECT_EQ(control<QWidget>("Text1")->geometry(), gridRect);
  for (const char* name : {"Command4", "ProgressBar2", "bnAbout"})
    EXPECT_EQ(control<QWidget>(name)->geometry().right(), gridRect.right()) << name;
  EXPECT_GT(control<QWidget>("Command4")->geometry().top(), gridRect.bottom());
  EXPECT_LE(control<QWidget>("bnAbout")->geometry().bottom(), window.statusBar()->geometry().top());
  EXPECT_EQ(control<QWidget>("Frame6")->geometry(), frame);

  // The shown columns fill the grid without a horizontal scroll bar.
  int shownWidth = 0;
  for (int k = 0; k < grid->model()->columnCount(); ++k)
    shownWidth += grid->isColumnHidden(k) ? 0 : grid->columnWidth(k);
  EXPECT_LE(shownWidth, grid->viewport()->width());
}

TEST(ProgressBarRange, MapsSinglePrecisionValuesOntoAValidIntRange) {
  EXPECT_EQ(progressBarRange({5, 0, 10}), (ProgressBarRange{0, 10, 5}));
  // An empty range would show a busy animation.
  EXPECT_EQ(progressBarRange({0, 0, 0}), (ProgressBarRange{0, 1, 0}));
  EXPECT_EQ(progressBarRange({20, 0, 10}), (ProgressBarRange{0, 10, 10}));
  const ProgressBarRange huge = progressBarRange({3e9f, 0, 6e9f});
  EXPECT_GT(huge.maximum, 0);
  EXPECT_NEAR(huge.value, huge.maximum / 2, 2);
}

} // namespace
} // namespace zandrex::desktop
