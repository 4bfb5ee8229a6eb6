// The main window on the offscreen platform, over a temporary tree and its own settings file with
// every dialog answered by the test: its controls and stored choices, finds in every mode, what a
// find is doing in the status bar, "Cancel" and closing during a walk, the system-folder warning;
// and the work in its grid: sorting, the selection helpers, deletion with failed rows staying
// ticked, hard-link marks, double-click, Enter and Space, and a big result opening its groups as
// they come into view.
#include "desktop_shell.h"
#include "list_saver.h"
#include "local_path.h"
#include "main_window.h"
#include "qt_settings.h"
#include "shellaid/loaded_windows.h"
#include "source/special_folders.h"
#include "test_support.h"
#include "tick_tally_field.h"
#include "warning_window.h"

#include <QAbstractItemModelTester>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDropEvent>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QTreeView>
#include <QUrl>
#include <algorithm>
#include <cstdlib>
#include <gtest/gtest.h>
#include <memory>
#include <set>
#include <unistd.h>
#include <utility>

namespace zandrex::desktop {
namespace {

using Paths = std::vector<std::string>;
using Groups = std::vector<Paths>;
using PathSet = std::set<std::string>;

class MainWindowTest : public ::testing::Test {
protected:
  test::TempDir settingsDir;
  test::TempDir tree;
  std::unique_ptr<QtSettings> settings =
      std::make_unique<QtSettings>(QString::fromStdString(settingsDir.path() + "z.ini"));
  std::unique_ptr<Form1> form;
  QString chosenFolder; // what the folder chooser answers; "" is a cancel
  QString chooserStart;
  int chooserCalls = 0;
  std::vector<std::string> failureWindows;
  std::vector<QStringList> shownItems;

  // By name: photo.jpg x3 (4 bytes each), x.txt x2 (6 bytes each); one file of its own. The
  // dates order each group differently from its paths.
  void SetUp() override {
    write("data/a/photo.jpg", "AAAA", 1000);
    write("data/b/photo.jpg", "AAAA", 3000);
    write("data/c/deep/photo.jpg", "AAAA", 2000);
    write("data/a/x.txt", "XYZXYZ", 5000);
    write("data/b/x.txt", "XYZXYZ", 4000);
    write("data/b/alone.bin", "1", 6000);
    setItemShower([this](const QStringList& urls) {
      shownItems.push_back(urls);
      return true;
    });
    setUrlOpener([](const QUrl&) { return true; });
  }
  void TearDown() override {
    setItemShower({});
    setUrlOpener({});
    setSpecialFolderOverride({});
  }
  void write(const std::string& relative, const std::string& content, std::int64_t mtime) {
    tree.write(relative, content);
    tree.setMtime(relative, mtime);
  }
  std::string data(const std::string& relative) const { return tree.path() + "data/" + relative; }
  std::string stored(const char* section, const char* key) {
    return settings->GetSetting(kAppTitle, section, key, "<absent>");
  }
  void save(const char* section, const char* key, const std::string& value) {
    settings->SaveSetting(kAppTitle, section, key, value);
  }

  // Opens the window; with realWarning the "Warning" window is the real one.
  Form1& open(bool realWarning = false) {
    form = std::make_unique<Form1>(*settings);
    form->dialogs.chooseFolder = [this](const QString& start) {
      ++chooserCalls;
      chooserStart = start;
      return chosenFolder;
    };
    if (!realWarning)
      form->dialogs.systemFolderWarning = [](const std::string&) { return true; };
    form->dialogs.exclamation = [](const QString&) {};
    form->dialogs.failureWindow = [this](const std::string& count) {
      failureWindows.push_back(count);
    };
    form->show();
    return *form;
  }
  Form1& openAndFind() {
    open();
    choose(data(""));
    find(ByName);
    return *form;
  }

  template <typename T = QPushButton> T* control(const char* name) const {
    T* found = form->findChild<T*>(name);
    EXPECT_NE(found, nullptr) << name;
    return found;
  }
  QTreeView* grid() const { return control<QTreeView>("ReportControl1"); }
  QCheckBox* subfolders() const { return control<QCheckBox>("chSubfolders"); }
  QComboBox* modes() const { return control<QComboBox>("cmbBy"); }
  bool deleteEnabled() const { return control("Command4")->isEnabled(); }
  void click(const char* name) { control(name)->click(); }
  // Chooses the folder through "...".
  void choose(const std::string& folder) {
    chosenFolder = QString::fromStdString(folder);
    click("Command2");
  }
  void find(int mode) {
    modes()->setCurrentIndex(mode);
    click("Command3");
  }
  void clickHeader(int column) {
    QHeaderView* header = grid()->header();
    const QPoint at(header->sectionViewportPosition(column) + header->sectionSize(column) / 2,
                    header->height() / 2);
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, at);
  }
  static void triggerIn(const QMenu& menu, const char* caption) {
    for (QAction* action : menu.actions())
      if (action->text() == caption)
        return action->trigger();
    ADD_FAILURE() << "not in the menu: " << caption;
  }
  // An item of the "Select" button's menu; a group order from the header's context menu.
  void trigger(const char* caption) {
    triggerIn(*control<QToolButton>("bnSelect")->menu(), caption);
  }
  void sortGroups(const char* caption) { triggerIn(*form->gridActions()->headerMenu(), caption); }

  // Answers the real "Warning" window the next find opens; list receives the folders it shows.
  void answerWarning(bool yes, QString* list = nullptr) {
    QTimer::singleShot(0, [list, yes] {
      auto* warning = qobject_cast<Form4*>(QApplication::activeModalWidget());
      ASSERT_NE(warning, nullptr);
      if (list)
        *list = warning->fdSystemFolders()->toPlainText();
      (yes ? warning->bnOK() : warning->bnCancel())->click();
    });
  }
  // Points the guard's folder (programs or system) at a folder of the tree, by its real path.
  void treatAsSystemFolder(int number, const std::string& relative) {
    std::unique_ptr<char, decltype(&std::free)> real(
        ::realpath((tree.path() + relative).c_str(), nullptr), &std::free);
    ASSERT_NE(real, nullptr) << relative;
    setSpecialFolderOverride([number, folder = std::string(real.get())](int asked) {
      return asked == number ? folder : std::string("/nonexistent-") + std::to_string(asked);
    });
  }

  FileGridModel& model() const { return *form->gridModel(); }
  int groups() const { return model().rowCount(); }
  // The path of a file row, relative to data/.
  std::string pathAt(const QModelIndex& index) const {
    const ReportGrid& rows = form->core().grid();
    return form->core()
        .fullPath(rows.row(model().rowPosition(index)).record)
        .substr(data("").size());
  }
  // The view's groups, each with its files' paths in view order (only the ticked ones if asked).
  Groups shown(bool onlyTicked = false) const {
    Groups groups;
    for (int group = 0; group < model().rowCount(); ++group) {
      const QModelIndex parent = model().index(group, 0);
      groups.emplace_back();
      for (int file = 0; file < model().rowCount(parent); ++file)
        if (const QModelIndex at = model().index(file, 0, parent);
            !onlyTicked || at.data(Qt::CheckStateRole).toInt() == Qt::Checked)
          groups.back().push_back(pathAt(at));
    }
    return groups;
  }
  PathSet ticked() const {
    PathSet paths;
    for (const Paths& group : shown(true))
      paths.insert(group.begin(), group.end());
    return paths;
  }
  QModelIndex fileIndex(const std::string& path) const {
    for (int group = 0; group < groups(); ++group)
      for (int file = 0; file < model().rowCount(model().index(group, 0)); ++file)
        if (const QModelIndex at = model().index(file, 0, model().index(group, 0));
            pathAt(at) == path)
          return at;
    ADD_FAILURE() << "not listed: " << path;
    return {};
  }
};

TEST_F(MainWindowTest, OpensWithTheDesignsCaptionsColumnsAndModes) {
  Form1& window = open();
  EXPECT_EQ(window.windowTitle(), "Zandrex");
  EXPECT_TRUE(isLoad("Form1"));
  EXPECT_TRUE(control<QLineEdit>("fdFromForRename")->isReadOnly());
  EXPECT_EQ(window.statusText(), "0 files");
  EXPECT_FALSE(deleteEnabled());
  EXPECT_FALSE(control<QToolButton>("bnSelect")->isEnabled());
  EXPECT_FALSE(control<QPlainTextEdit>("Text1")->isVisible());
  for (int k = 0; k < 4; ++k)
    EXPECT_EQ(modes()->itemText(k), kComparisonItems[k]);
  // Object names and the captions they must show.
  const char* captions[] = {"Command2", "...",
                            "Command3", "Find",
                            "bnCancel", "Cancel",
                            "bnAbout",  "About",
                            "lblprb1",  "Searching:",
                            "lblprb2",  "Deleting:",
                            "Command4", "Delete selected files",
                            "bnSelect", "Select"};
  for (std::size_t k = 0; k < std::size(captions); k += 2)
    EXPECT_EQ(control<QWidget>(captions[k])->property("text").toString(), captions[k + 1]);
  const char* headers[] = {"Path", "File", "Size", "Date", "File", "Checksum", "Content"};
  ASSERT_EQ(model().columnCount(), 7);
  for (int k = 0; k < 7; ++k) {
    EXPECT_EQ(model().headerData(k, Qt::Horizontal).toString(), headers[k]);
    EXPECT_EQ(grid()->isColumnHidden(k), k >= 4) << k;
  }
  form.reset();
  EXPECT_FALSE(isLoad("Form1"));
}

// "Subfolders" stores 2 for its greyed state; "Find duplicates by" -1 for no mode.
TEST_F(MainWindowTest, StoredChoicesAreShownInvalidOnesFallBackAndUnloadSavesWhatIsShown) {
  // A stored "Path" without its "/" gets one, like the chooser's answers.
  struct Case {
    const char* subfolders;
    const char* mode;
    std::string path;
    Qt::CheckState box;
    int index;
    const char* savedSubfolders;
    std::string source;
  };
  const std::string photos = tree.mkdir("data/photos");
  const std::string photosNoSlash = photos.substr(0, photos.size() - 1);
  for (const Case& c : {Case{nullptr, nullptr, "", Qt::Checked, 0, "1", ""},
                        Case{"0", "1", photosNoSlash, Qt::Unchecked, 1, "0", photos},
                        Case{"yes", "7", photos, Qt::Checked, 0, "1", photos},
                        Case{"2", "-1", "/", Qt::PartiallyChecked, -1, "2", "/"}}) {
    SCOPED_TRACE(c.savedSubfolders);
    if (c.subfolders) {
      save("Path", "Subfolders", c.subfolders);
      save("Settings", "Find duplicates by", c.mode);
      save("Path", "Path", c.path);
    }
    open();
    EXPECT_EQ(subfolders()->checkState(), c.box);
    EXPECT_EQ(modes()->currentIndex(), c.index);
    EXPECT_EQ(control<QLineEdit>("fdFromForRename")->text().toStdString(), c.source);
    EXPECT_EQ(form->core().source(), c.source);
    EXPECT_TRUE(form->close());
    EXPECT_EQ(stored("Path", "Subfolders"), c.savedSubfolders);
    EXPECT_EQ(stored("Settings", "Find duplicates by"), std::to_string(c.index));
    EXPECT_EQ(stored("Path", "Path"), c.source);
  }

  // The source goes to the finder and back to the settings though "..." was never used; its
  // files' folder texts are paths (data/a/, not dataa/); what the user changed is saved.
  save("Path", "Path", tree.path() + "data");
  open();
  EXPECT_EQ(control<QLineEdit>("fdFromForRename")->text().toStdString(), data(""));
  EXPECT_EQ(form->core().source(), data(""));
  find(ByName);
  ASSERT_GT(groups(), 0);
  EXPECT_EQ(model().index(0, col::kPath, model().index(0, 0)).data().toString().toStdString(),
            data("a/"));
  save("Path", "Path", "overwritten");
  modes()->setCurrentIndex(3);
  subfolders()->click();
  form->close();
  EXPECT_EQ(stored("Path", "Path"), data(""));
  EXPECT_EQ(stored("Path", "Subfolders"), "1");
  EXPECT_EQ(stored("Settings", "Find duplicates by"), "3");
}

TEST_F(MainWindowTest, BrowsingSetsTheSourceWithOneSlashAndCancellingKeepsIt) {
  Form1& window = open();
  const std::pair<std::string, std::string> answers[] = {
      {"", ""}, {data("b"), data("b/")}, {"", data("b/")}, {"/", "/"}};
  for (const auto& [chosen, source] : answers) {
    choose(chosen);
    EXPECT_EQ(window.core().source(), source) << chosen;
    EXPECT_EQ(control<QLineEdit>("fdFromForRename")->text().toStdString(), source) << chosen;
  }
  EXPECT_EQ(chooserCalls, 4);
}

// What a file manager's drag carries: URLs, as text/uri-list.
std::unique_ptr<QMimeData> dragOf(const QList<QUrl>& urls) {
  auto data = std::make_unique<QMimeData>();
  data->setUrls(urls);
  return data;
}

// Sends a drag entering the window and, unless refused there, its drop; true when both took it.
bool dropOn(QWidget& window, const QMimeData& data) {
  const QPoint at(10, 10);
  QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  enter.setAccepted(false);
  QApplication::sendEvent(&window, &enter);
  QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  drop.setAccepted(false);
  QApplication::sendEvent(&window, &drop);
  EXPECT_EQ(enter.isAccepted(), drop.isAccepted()) << "the drag promised otherwise";
  return drop.isAccepted();
}

QUrl fileUrl(const std::string& path) {
  return QUrl::fromEncoded("file://" + QByteArray::fromStdString(path).toPercentEncoding("/"));
}

TEST_F(MainWindowTest, TheSourceBoxHintsAndTakesOneDroppedLocalFolderAsTheChooserWould) {
  Form1& window = open();
  auto* box = control<QLineEdit>("fdFromForRename");
  EXPECT_EQ(box->placeholderText(), "Choose a disk or folder with ...");
  EXPECT_TRUE(window.acceptDrops());
  // A name that is not UTF-8 keeps its bytes.
  const std::string odd = tree.mkdir("data/odd\xff");
  struct Case {
    const char* name;
    QList<QUrl> urls;
    std::string source; // after the drop; "" for refused, the source staying as it was
  };
  const Case cases[] = {
      {"a folder", {fileUrl(data("b"))}, data("b/")},
      {"a folder with its slash", {fileUrl(data("a/"))}, data("a/")},
      {"a folder named in bytes", {fileUrl(odd)}, odd},
      {"a folder on this host",
       {QUrl("file://localhost" + QString::fromStdString(data("c")))},
       data("c/")},
      {"a file", {fileUrl(data("a/x.txt"))}, ""},
      {"a missing folder", {fileUrl(data("missing"))}, ""},
      {"a web address", {QUrl("https://example.org/data/")}, ""},
      {"a folder on another host",
       {QUrl("file://elsewhere" + QString::fromStdString(data("b")))},
       ""},
      {"two folders", {fileUrl(data("a")), fileUrl(data("b"))}, ""},
      {"no URL", {}, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string before = window.core().source();
    EXPECT_EQ(dropOn(window, *dragOf(c.urls)), !c.source.empty());
    const std::string expected = c.source.empty() ? before : c.source;
    EXPECT_EQ(window.core().source(), expected);
    EXPECT_EQ(box->text(), localPath(expected));
  }

  // Nothing is taken while a find runs; the last folder taken is saved like a chosen one.
  choose(data(""));
  bool takenDuringFind = true;
  window.onEventPass = [&] {
    if (window.core().busy())
      takenDuringFind = dropOn(window, *dragOf({fileUrl(data("b"))}));
  };
  find(ByName);
  window.onEventPass = {};
  EXPECT_FALSE(takenDuringFind);
  EXPECT_EQ(window.core().source(), data(""));
  EXPECT_TRUE(dropOn(window, *dragOf({fileUrl(data("c/deep"))})));
  form->close();
  EXPECT_EQ(stored("Path", "Path"), data("c/deep/"));
}

TEST_F(MainWindowTest, FindGroupsByEachModeAndEnablesDeleteOnlyWithRows) {
  Form1& window = open();
  // Two more 4-byte files, alike but for their names: every mode finds something else.
  write("data/d/x.txt", "BBBB", 7000);
  write("data/e/y.txt", "BBBB", 7000);
  choose(data(""));
  // filename: photo.jpg x3, x.txt x3; size: 4 bytes x5, 6 bytes x2; filename and size:
  // photo.jpg x3, x.txt x2; content: "AAAA" x3, "BBBB" x2, "XYZXYZ" x2.
  const std::pair<int, int> groupsAndFiles[] = {{2, 6}, {2, 7}, {2, 5}, {3, 7}};
  for (int mode = 0; mode < 4; ++mode) {
    find(mode);
    EXPECT_EQ(groups(), groupsAndFiles[mode].first) << mode;
    EXPECT_EQ(window.statusText().toStdString(),
              std::to_string(groupsAndFiles[mode].second) + " files")
        << mode;
  }
  EXPECT_TRUE(deleteEnabled());
  EXPECT_TRUE(grid()->isVisible());
  EXPECT_FALSE(control<QPlainTextEdit>("Text1")->isVisible());
  auto* bar = control<QProgressBar>("ProgressBar1");
  EXPECT_EQ(bar->value(), bar->maximum());
  // Every group is expanded with its heading across the row.
  EXPECT_TRUE(grid()->isExpanded(model().index(2, 0)));
  EXPECT_TRUE(grid()->isFirstColumnSpanned(2, QModelIndex()));

  // data/ holds no file of its own: without "Subfolders" nothing is found.
  subfolders()->click();
  find(ByName);
  EXPECT_EQ(groups(), 0);
  EXPECT_FALSE(deleteEnabled());
  EXPECT_FALSE(control<QToolButton>("bnSelect")->isEnabled());
  EXPECT_TRUE(grid()->isVisible());
}

TEST_F(MainWindowTest, CancelOrCloseDuringTheWalkEndItAndOtherCommandsAreIgnored) {
  for (int k = 0; k < 200; ++k)
    tree.write("data/many/f" + std::to_string(k) + ".txt", "x");
  Form1& window = openAndFind();
  ASSERT_GT(groups(), 0);

  int passes = 0;
  window.onEventPass = [&] {
    if (++passes != 50)
      return;
    // While the walk runs, these presses and the helpers are ignored; "Cancel" is not.
    for (const char* ignored : {"Command2", "Command3", "Command4"})
      click(ignored);
    trigger(kKeepNewestCaption);
    EXPECT_FALSE(window.selectionReport().startsWith("Ticked")); // the field shows the walk
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

  // Closing during a find cancels it; the window closes when the find returns.
  bool closedAtOnce = true;
  window.onEventPass = [&] {
    if (window.isVisible())
      closedAtOnce = window.close();
  };
  find(ByName);
  EXPECT_FALSE(closedAtOnce);
  EXPECT_EQ(groups(), 0);
  EXPECT_FALSE(window.isVisible());
  EXPECT_FALSE(window.core().busy());
  EXPECT_EQ(stored("Settings", "Find duplicates by"), "0");
  EXPECT_FALSE(isLoad("Form1"));
}

// The third field says what the find is doing, brought up to date only when the throttled pump
// runs events, never per file; after a cancel it says "Cancelled", and the first two fields keep
// their texts.
TEST_F(MainWindowTest, TheThirdFieldFollowsTheFindWhenEventsRunAndSaysCancelled) {
  for (int k = 0; k < 200; ++k)
    tree.write("data/many/f" + std::to_string(k) + ".txt", "x" + std::to_string(k % 2));
  Form1& window = open();
  choose(data(""));
  // The pump runs on every tenth look at the clock, which moves just far enough each time.
  constexpr int kLooksPerRun = 10;
  int looks = 0;
  int runs = 0;
  const EventPump::Clock::time_point start = EventPump::Clock::now();
  window.eventPump().setCallsPerClockRead(1);
  window.eventPump().now = [&] {
    return start +
           ++looks / kLooksPerRun * (EventPump::kDefaultInterval + std::chrono::milliseconds(1));
  };
  window.eventPump().processEvents = [&] {
    ++runs;
    QCoreApplication::processEvents();
  };
  QString seen;
  int changes = 0;
  std::set<std::string> phases;
  window.onEventPass = [&] {
    if (window.selectionReport() == seen)
      return;
    seen = window.selectionReport();
    ++changes;
    phases.insert(seen.section(':', 0, 0).toStdString());
  };
  find(ByContent);
  for (const char* phase : {"Listing", "Grouping", "Reading"})
    EXPECT_TRUE(phases.contains(phase)) << phase;
  EXPECT_GT(runs, 0);
  EXPECT_LE(changes, runs + 1);
  // Nothing to say after a find that ran to its end.
  EXPECT_EQ(window.selectionReport(), "");
  EXPECT_EQ(window.statusText().toStdString(), "205 files");

  // "Cancel" pressed while the files are read.
  window.onEventPass = [&] {
    if (window.core().progress().phase == FindProgress::Phase::Reading)
      click("bnCancel");
  };
  find(ByContent);
  EXPECT_EQ(groups(), 0);
  EXPECT_EQ(window.selectionReport(), "Cancelled");
  EXPECT_EQ(window.statusText().toStdString(), "205 files"); // the size pruning's
  EXPECT_EQ(window.statusText2(), "0 bytes reclaimable");
}

// The real "Warning" window, opened by the find: "NO!" leaves the grid as it was.
TEST_F(MainWindowTest, DecliningTheWarningLeavesTheGridAsItWasAndYesScans) {
  const std::string programs = tree.mkdir("programs");
  const std::string noSlash = programs.substr(0, programs.size() - 1);
  setSpecialFolderOverride([&](int number) {
    return number == CSIDL_PROGRAM_FILES ? noSlash : std::string("/nonexistent-system");
  });
  tree.writeEach({"programs/x/photo.jpg", "programs/y/photo.jpg"}, "AAAA");
  Form1& window = open(true);
  choose(data(""));
  find(ByName);
  ASSERT_EQ(groups(), 2);

  QString shownList;
  choose(programs + "x");
  answerWarning(false, &shownList);
  find(ByName);
  EXPECT_EQ(shownList.toStdString(), noSlash + "\n");
  EXPECT_EQ(groups(), 2);
  EXPECT_TRUE(deleteEnabled());

  // A link to the folder (as /bin is to /usr/bin) warns as the folder does: the guard looks at
  // the real path the walk would take. The source box keeps the path chosen.
  treatAsSystemFolder(CSIDL_PROGRAM_FILES, "programs");
  ASSERT_EQ(::symlink(programs.c_str(), (tree.path() + "alias").c_str()), 0);
  shownList.clear();
  choose(tree.path() + "alias");
  answerWarning(false, &shownList);
  find(ByName);
  EXPECT_FALSE(shownList.isEmpty());
  EXPECT_TRUE(shownList.endsWith("/programs"));
  EXPECT_EQ(control<QLineEdit>("fdFromForRename")->text().toStdString(), tree.path() + "alias/");
  EXPECT_EQ(groups(), 2);

  choose(programs);
  answerWarning(true);
  find(ByName);
  EXPECT_EQ(groups(), 1);
  EXPECT_EQ(window.statusText(), "2 files");
}

// On a file system that tells letter case apart, a.txt and A.TXT are two files of one group by
// name: each row shows its own name (the deletion by the name as found is the engine's).
TEST_F(MainWindowTest, TheFileColumnShowsTheNameAsFound) {
  write("data/case/a.txt", "CASE", 8000);
  write("data/case/A.TXT", "CASE", 8000);
  openAndFind();
  const QModelIndex group = model().index(0, 0);
  ASSERT_EQ(group.data().toString(), "File: a.txt (2 files, not verified)");
  const auto nameAt = [&](const std::string& path) {
    return fileIndex(path).siblingAtColumn(col::kFile).data().toString().toStdString();
  };
  EXPECT_EQ(nameAt("case/A.TXT"), "A.TXT");
  EXPECT_EQ(nameAt("case/a.txt"), "a.txt");
  EXPECT_EQ(nameAt("c/deep/photo.jpg"), "photo.jpg");
}

// The numbers are the pure layout's (main_window_layout_test); this checks the window applies it.
TEST_F(MainWindowTest, ResizingKeepsTheBandAlongTheGridAndPleaseWaitOverIt) {
  Form1& window = open();
  const QRect frame = control<QWidget>("Frame6")->geometry();
  window.resize(window.width() + 200, window.height() + 150);
  QApplication::processEvents();
  const QRect gridRect = grid()->geometry();
  EXPECT_EQ(control<QWidget>("Text1")->geometry(), gridRect);
  for (const char* name : {"Command4", "ProgressBar2", "bnAbout"})
    EXPECT_EQ(control<QWidget>(name)->geometry().right(), gridRect.right()) << name;
  EXPECT_GT(control<QWidget>("Command4")->geometry().top(), gridRect.bottom());
  EXPECT_LE(control<QWidget>("bnAbout")->geometry().bottom(), window.statusBar()->geometry().top());
  EXPECT_EQ(control<QWidget>("Frame6")->geometry(), frame);
}

// The numbers are the pure functions' (main_window_layout_test); this checks the window uses them.
TEST_F(MainWindowTest, TheWindowFitsTheScreenAndHalfALaptopAndReopensWhereItWas) {
  // Half of a 1366 x 768 screen beside a panel, at the usual scale.
  constexpr int kHalfLaptopWidth = 683;
  constexpr int kLaptopHeightBesidesPanel = 768 - 48;
  Form1& window = open();
  const QSize smallest = window.minimumSize().grownBy(kAssumedWindowFrame);
  EXPECT_LE(smallest.width(), kHalfLaptopWidth);
  EXPECT_LE(smallest.height(), kLaptopHeightBesidesPanel);
  // The offscreen screen is narrower than the design: the window fits it, frame included.
  const QRect available = window.screen()->availableGeometry();
  EXPECT_TRUE(available.contains(window.geometry().marginsAdded(kAssumedWindowFrame)))
      << window.geometry().width() << " x " << window.geometry().height();

  // At the minimum the comparison frame lies below the source frame and everything inside; the
  // path and name columns give way so that the date still shows whole and no column is cut off.
  choose(data(""));
  find(ByName);
  window.resize(window.minimumSize());
  QApplication::processEvents();
  const QString date = model().index(0, col::kDate, model().index(0, 0)).data().toString();
  EXPECT_GE(grid()->columnWidth(col::kDate), grid()->fontMetrics().horizontalAdvance(date));
  int shownWidth = 0;
  for (int k = 0; k < model().columnCount(); ++k)
    shownWidth += grid()->isColumnHidden(k) ? 0 : grid()->columnWidth(k);
  EXPECT_LE(shownWidth, grid()->viewport()->width());
  const QRect source = control<QWidget>("Frame6")->geometry();
  const QRect options = control<QWidget>("Frame1")->geometry();
  EXPECT_GT(options.top(), source.bottom());
  EXPECT_LE(options.right(), grid()->geometry().right());
  EXPECT_GT(grid()->geometry().top(), options.bottom());
  EXPECT_GE(control<QToolButton>("bnSelect")->geometry().left(), grid()->geometry().left());

  // Where it was is stored at the close; a place now off the screen is brought back onto it.
  const QRect moved(available.topLeft() + QPoint(10, 40), window.minimumSize() + QSize(30, 20));
  window.setGeometry(moved);
  form->close();
  EXPECT_EQ(stored("Window", "Left"), std::to_string(moved.left()));
  EXPECT_EQ(stored("Window", "Height"), std::to_string(moved.height()));
  EXPECT_EQ(stored("Window", "Maximised"), "0");
  EXPECT_EQ(open().geometry(), moved);
  form->close();
  save("Window", "Left", "-5000");
  EXPECT_TRUE(available.contains(open().geometry().marginsAdded(kAssumedWindowFrame)));
  EXPECT_EQ(form->geometry().size(), moved.size());
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

// The view's state (collapsed groups, spanned headings, the current row) moves with the rows.
TEST_F(MainWindowTest, HeaderClicksSortFilesAndGroupsAndTheSortSurvivesANewFind) {
  openAndFind();
  QAbstractItemModelTester tester(&model(), QAbstractItemModelTester::FailureReportingMode::Fatal);
  const Paths photos = {"a/photo.jpg", "b/photo.jpg", "c/deep/photo.jpg"};
  const Paths texts = {"a/x.txt", "b/x.txt"};
  ASSERT_EQ(shown(), (Groups{photos, texts}));
  QTreeView* view = grid();
  view->setCurrentIndex(fileIndex("c/deep/photo.jpg"));
  view->collapse(model().index(0, 0));

  // "File" is what the groups share: it orders the groups; again reverses them.
  clickHeader(col::kFile);
  EXPECT_EQ(shown(), (Groups{photos, texts}));
  clickHeader(col::kFile);
  EXPECT_EQ(shown(), (Groups{texts, photos}));
  EXPECT_TRUE(view->isExpanded(model().index(0, 0)));
  EXPECT_FALSE(view->isExpanded(model().index(1, 0)));
  EXPECT_TRUE(view->isFirstColumnSpanned(1, QModelIndex()));
  EXPECT_EQ(pathAt(view->currentIndex()), "c/deep/photo.jpg");

  // "Date" differs within groups: it orders the files (a new column ascending first) and leaves
  // the groups as they are.
  clickHeader(col::kDate);
  EXPECT_EQ(shown(),
            (Groups{{"b/x.txt", "a/x.txt"}, {"a/photo.jpg", "c/deep/photo.jpg", "b/photo.jpg"}}));
  clickHeader(col::kDate);
  const Paths photosNewest = {"b/photo.jpg", "c/deep/photo.jpg", "a/photo.jpg"};
  EXPECT_EQ(shown(), (Groups{texts, photosNewest}));

  // A new find keeps the sort, and by size the groups follow "Size".
  find(BySize);
  EXPECT_EQ(shown(), (Groups{texts, photosNewest}));
  clickHeader(col::kSize);
  EXPECT_EQ(shown(), (Groups{photos, texts}));

  // The group menu: a new order starts largest first, again reverses it. photo.jpg has more
  // files and frees more (8 bytes to 6).
  const std::pair<const char*, const char*> menuSorts[] = {
      {kGroupsByCountCaption, "Groups sorted by file count, fewest first"},
      {kGroupsByReclaimableCaption, "Groups sorted by reclaimable space, least first"}};
  for (const auto& [caption, reversedReport] : menuSorts) {
    sortGroups(caption);
    EXPECT_EQ(shown(), (Groups{photos, texts})) << caption;
    EXPECT_TRUE(form->gridActions()->action(caption)->isChecked());
    sortGroups(caption);
    EXPECT_EQ(shown(), (Groups{texts, photos})) << caption;
    EXPECT_EQ(form->selectionReport(), reversedReport);
  }
  // The grid's context menu offers the same choices in a submenu.
  const std::unique_ptr<QMenu> gridMenu = form->gridActions()->gridMenu({});
  ASSERT_NE(gridMenu->findChild<QMenu*>(), nullptr);
  triggerIn(*gridMenu->findChild<QMenu*>(), kGroupsByKeyCaption);
  EXPECT_EQ(shown(), (Groups{photos, texts})); // size keys: 4 before 6
}

TEST_F(MainWindowTest, EachHelperTicksThroughItsMenuActionAndReportsBesideTheCounts) {
  Form1& window = openAndFind();
  EXPECT_TRUE(control<QToolButton>("bnSelect")->isEnabled());
  const PathSet allButFirst = {"b/photo.jpg", "c/deep/photo.jpg", "b/x.txt"};
  const std::pair<const char*, PathSet> keeps[] = {
      {kKeepNewestCaption, {"a/photo.jpg", "c/deep/photo.jpg", "b/x.txt"}},
      {kKeepOldestCaption, {"b/photo.jpg", "c/deep/photo.jpg", "a/x.txt"}},
      {kKeepFirstCaption, allButFirst},
      {kKeepShortestCaption, allButFirst}};
  for (const auto& [caption, expected] : keeps) {
    trigger(caption);
    EXPECT_EQ(ticked(), expected) << caption;
  }
  // a/ and b/ paths are as long as each other: both groups break a tie by path.
  EXPECT_EQ(window.selectionReport(), "Ticked 3 files in 2 groups; 2 ties broken by path");
  EXPECT_EQ(window.statusText(), "5 files");
  EXPECT_EQ(window.statusText2(), "Space not verified: find by content to know it");
  trigger(kUntickAllCaption);
  EXPECT_TRUE(ticked().empty());
  EXPECT_EQ(window.selectionReport(), "Unticked 3 files");

  // The folder chooser opens at the source; cancelling ticks nothing.
  chosenFolder = QString::fromStdString(data("b"));
  trigger(kTickFolderCaption);
  EXPECT_EQ(chooserStart.toStdString(), data(""));
  EXPECT_EQ(ticked(), (PathSet{"b/photo.jpg", "b/x.txt"}));
  EXPECT_EQ(window.selectionReport(), "Ticked 2 files in 2 groups");
  chosenFolder.clear();
  trigger(kTickFolderCaption);
  EXPECT_EQ(ticked().size(), 2u);

  // The context menu of a file offers that file's folder.
  std::unique_ptr<QMenu> menu = window.gridActions()->gridMenu(fileIndex("c/deep/photo.jpg"));
  QAction* here = menu->findChild<QAction*>("actTickThisFolder");
  ASSERT_NE(here, nullptr);
  EXPECT_EQ(here->text().toStdString(), "Tick every file in " + data("c/deep/"));
  here->trigger();
  EXPECT_EQ(ticked().size(), 3u);

  // Inverting: the Select button works on the current row's group, the context menu on its row.
  grid()->setCurrentIndex(fileIndex("a/x.txt"));
  trigger(kInvertGroupCaption);
  EXPECT_EQ(ticked(), (PathSet{"b/photo.jpg", "c/deep/photo.jpg", "a/x.txt"}));
  EXPECT_EQ(window.selectionReport(), "Ticked 1 file in 1 group");
  menu = window.gridActions()->gridMenu(model().index(0, 0));
  menu->findChild<QAction*>("actInvertThisGroup")->trigger();
  EXPECT_EQ(ticked(), (PathSet{"a/photo.jpg", "a/x.txt"}));
  EXPECT_FALSE(
      window.gridActions()->gridMenu({})->findChild<QAction*>("actInvertThisGroup")->isEnabled());
  // The list can be saved from the grid's menu as from the Select button's.
  menu = window.gridActions()->gridMenu({});
  const QList<QAction*> items = menu->actions();
  EXPECT_TRUE(std::any_of(items.begin(), items.end(),
                          [](const QAction* item) { return item->text() == kSaveListCaption; }));
}

// The tally beside the status bar's fields follows every kind of tick, and warns, in red, of
// groups that would lose every copy.
TEST_F(MainWindowTest, TheStatusBarTalliesTheTicksAndWarnsOfGroupsWithEveryCopyTicked) {
  Form1& window = openAndFind();
  const TickTallyField& tally = *window.tallyField();
  EXPECT_EQ(tally.shownTally(), "0 ticked \u00b7 0 bytes to free");
  EXPECT_EQ(tally.shownWarning(), "");
  EXPECT_FALSE(tally.findChild<QLabel*>("lblAllCopiesTicked")->isVisibleTo(&window));

  trigger(kKeepNewestCaption);
  EXPECT_EQ(tally.shownTally(), "3 ticked \u00b7 14 bytes to free");
  EXPECT_EQ(tally.shownWarning(), "");
  // The last photo by hand: its group is all ticked, its heading says so.
  ASSERT_TRUE(model().setData(fileIndex("b/photo.jpg"), Qt::Checked, Qt::CheckStateRole));
  EXPECT_EQ(tally.shownTally(), "4 ticked \u00b7 18 bytes to free");
  EXPECT_EQ(tally.shownWarning(), "\u00b7 1 group with all copies ticked");
  EXPECT_TRUE(tally.findChild<QLabel*>("lblAllCopiesTicked")->isVisibleTo(&window));
  const QModelIndex photos = fileIndex("b/photo.jpg").parent();
  EXPECT_TRUE(model().data(photos).toString().endsWith(" \u2014 all copies ticked"))
      << model().data(photos).toString().toStdString();
  // The specified fields keep their texts.
  EXPECT_EQ(window.statusText(), "5 files");
  EXPECT_EQ(window.statusText2(), "Space not verified: find by content to know it");

  // One click inverts a whole group into danger; deleting it leaves nothing ticked.
  trigger(kUntickAllCaption);
  grid()->setCurrentIndex(fileIndex("a/x.txt"));
  trigger(kInvertGroupCaption);
  EXPECT_EQ(tally.shownTally(), "2 ticked \u00b7 12 bytes to free");
  EXPECT_EQ(tally.shownWarning(), "\u00b7 1 group with all copies ticked");
  click("Command4");
  EXPECT_FALSE(QFile::exists(QString::fromStdString(data("a/x.txt"))));
  EXPECT_EQ(tally.shownTally(), "0 ticked \u00b7 0 bytes to free");
  EXPECT_EQ(tally.shownWarning(), "");
}

// "Save list..." writes the very bytes the command line prints for the same folder, as CSV or
// JSON, and says why when it cannot write.
TEST_F(MainWindowTest, SaveListWritesWhatTheCommandLinePrintsAndReportsAFailedWrite) {
  Form1& window = openAndFind();
  test::TempDir saved;
  ListSaver& saver = *window.listSaver();
  QString start;
  saver.chooseFile = [&](const QString& from) {
    start = from;
    return ChosenFile{QString::fromStdString(saved.path() + "list"), kCsvFilter};
  };
  std::vector<QString> errors;
  window.dialogs.exclamation = [&](const QString& text) { errors.push_back(text); };
  trigger(kKeepNewestCaption);
  trigger(kSaveListCaption);
  EXPECT_EQ(start.toStdString(), data(""));
  const std::string csvPath = saved.path() + "list.csv";
  EXPECT_EQ(window.selectionReport().toStdString(), "Saved 5 files to " + csvPath);

  auto cliOutput = [&](const QStringList& options) {
    QProcess cli;
    cli.start(ZANDREX_CLI_PATH, options + QStringList{QString::fromStdString(data(""))});
    EXPECT_TRUE(cli.waitForFinished());
    EXPECT_EQ(cli.exitCode(), 0);
    return cli.readAllStandardOutput().toStdString();
  };
  // The command line ticks nothing: only the tick column tells the two apart.
  std::string csv = test::readFile(csvPath);
  ASSERT_EQ(csv.find("ticked,protected\r\n"), csv.find("\r\n") - 16);
  for (std::size_t at = csv.find(",1,0\r\n"); at != std::string::npos; at = csv.find(",1,0\r\n"))
    csv.replace(at, 6, ",0,0\r\n");
  EXPECT_EQ(csv, cliOutput({"--csv"}));

  const std::string jsonPath = saved.path() + "list.json";
  ASSERT_TRUE(saver.saveTo(QString::fromStdString(jsonPath), kJsonFilter));
  EXPECT_EQ(test::readFile(jsonPath), cliOutput({"--json"}));
  EXPECT_TRUE(errors.empty());

  // A folder that is not there: the reason is shown, nothing is written.
  EXPECT_FALSE(saver.saveTo(QString::fromStdString(saved.path() + "gone/list.csv"), kCsvFilter));
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_TRUE(errors[0].endsWith(": No such file or directory")) << errors[0].toStdString();
  EXPECT_TRUE(errors[0].contains("gone/list.csv"));
}

TEST_F(MainWindowTest, FailedRowsStayTickedAfterTheDeletionAndAfterSorting) {
  openAndFind();
  trigger(kKeepNewestCaption);
  // One ticked file changes after the find: the guard refuses it.
  write("data/c/deep/photo.jpg", "AAAA", 2500);
  clickHeader(col::kPath);
  click("Command4");

  EXPECT_EQ(failureWindows.size(), 1u);
  EXPECT_EQ(form->selectionReport(), ""); // its counts were about the rows just replaced
  EXPECT_FALSE(QFile::exists(QString::fromStdString(data("a/photo.jpg"))));
  EXPECT_FALSE(QFile::exists(QString::fromStdString(data("b/x.txt"))));
  EXPECT_EQ(shown(), (Groups{{"b/photo.jpg", "c/deep/photo.jpg"}, {"a/x.txt"}}));
  clickHeader(col::kPath);
  EXPECT_EQ(shown(), (Groups{{"c/deep/photo.jpg", "b/photo.jpg"}, {"a/x.txt"}}));
  EXPECT_EQ(ticked(), PathSet{"c/deep/photo.jpg"});
}

TEST_F(MainWindowTest, HardLinkedNamesAreMarkedAndFreeNothingAndPathsShowWhole) {
  tree.mkdir("data/d");
  ASSERT_EQ(::link(data("a/photo.jpg").c_str(), data("d/photo.jpg").c_str()), 0);
  openAndFind();
  const QModelIndex link = fileIndex("d/photo.jpg");
  EXPECT_EQ(link.siblingAtColumn(col::kFile).data().toString(), "photo.jpg (hard link)");
  // The path cell, elided in the middle, tells the whole path; a hard link's cells say so too.
  EXPECT_EQ(grid()->textElideMode(), Qt::ElideMiddle);
  const QString linkTip =
      "Another name of a file listed above in this group: deleting it frees no space";
  EXPECT_EQ(link.data(Qt::ToolTipRole).toString().toStdString(),
            data("d/photo.jpg") + "\n" + linkTip.toStdString());
  EXPECT_EQ(link.siblingAtColumn(col::kFile).data(Qt::ToolTipRole).toString(), linkTip);
  const QModelIndex original = fileIndex("a/photo.jpg").siblingAtColumn(col::kFile);
  EXPECT_EQ(original.data().toString(), "photo.jpg");
  EXPECT_FALSE(original.data(Qt::ToolTipRole).isValid());
  EXPECT_EQ(original.siblingAtColumn(col::kPath).data(Qt::ToolTipRole).toString().toStdString(),
            data("a/photo.jpg"));
  // Found by name, the heading claims no space.
  EXPECT_EQ(link.parent().data().toString(), "File: photo.jpg (4 files, not verified)");
}

TEST_F(MainWindowTest, DoubleClickShowsTheFileAndEnterOrSpaceToggleItsTick) {
  Form1& window = openAndFind();
  QTreeView* view = grid();
  const QModelIndex file = fileIndex("c/deep/photo.jpg").siblingAtColumn(col::kDate);
  view->scrollTo(file);
  const QPoint at = view->visualRect(file).center();
  // As the platform delivers a double-click: a click, then the double-click event.
  QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, at);
  QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, at);
  ASSERT_EQ(shownItems.size(), 1u);
  EXPECT_EQ(shownItems[0],
            QStringList{QUrl::fromLocalFile(QString::fromStdString(data("c/deep/photo.jpg")))
                            .toString(QUrl::FullyEncoded)});
  // A group row has no file to show.
  EXPECT_FALSE(window.gridActions()->showInFileManager(model().index(0, 0)));

  view->setFocus();
  view->setCurrentIndex(file);
  QTest::keyClick(view, Qt::Key_Return);
  EXPECT_EQ(ticked(), PathSet{"c/deep/photo.jpg"});
  QTest::keyClick(view, Qt::Key_Enter, Qt::KeypadModifier);
  EXPECT_TRUE(ticked().empty());
  QTest::keyClick(view, Qt::Key_Space);
  EXPECT_EQ(ticked(), PathSet{"c/deep/photo.jpg"});
  // On a group row the keys tick nothing.
  view->setCurrentIndex(model().index(1, 0));
  QTest::keyClick(view, Qt::Key_Return);
  EXPECT_EQ(ticked().size(), 1u);
}

TEST_F(MainWindowTest, BigResultsOpenTheirGroupsAsTheyComeIntoView) {
  constexpr int kGroups = 80;
  for (int i = 0; i < kGroups; ++i) {
    const std::string name = "n" + std::to_string(100 + i);
    tree.writeEach({"big/a/" + name, "big/b/" + name}, name);
  }
  Form1& window = open();
  window.rowsExpandedAtOnce = 0;
  choose(tree.path() + "big");
  find(ByName);
  QApplication::processEvents();
  QTreeView* view = grid();
  const auto groupAt = [&](int row) { return model().index(row, 0); };
  ASSERT_EQ(groups(), kGroups);
  // The shown columns leave room for the vertical scroll bar: no horizontal one is needed.
  int shownWidth = 0;
  for (int k = 0; k < model().columnCount(); ++k)
    shownWidth += view->isColumnHidden(k) ? 0 : view->columnWidth(k);
  EXPECT_LE(shownWidth, view->viewport()->width());
  EXPECT_TRUE(view->isExpanded(groupAt(0)));
  EXPECT_FALSE(view->isExpanded(groupAt(kGroups - 1)));

  // A group the user closes stays closed when it comes into view again.
  view->collapse(groupAt(1));
  view->scrollToBottom();
  QApplication::processEvents();
  const QModelIndex top = view->indexAt(QPoint(0, 0));
  const QModelIndex groupOnTop = top.parent().isValid() ? top.parent() : top;
  EXPECT_GT(groupOnTop.row(), kGroups / 2);
  EXPECT_TRUE(view->isExpanded(groupOnTop));
  EXPECT_FALSE(view->isExpanded(groupAt(kGroups / 2))); // never in view
  view->scrollToTop();
  QApplication::processEvents();
  EXPECT_TRUE(view->isExpanded(groupAt(0)));
  EXPECT_FALSE(view->isExpanded(groupAt(1)));
  EXPECT_TRUE(view->isExpanded(groupAt(2)));
}

} // namespace
} // namespace zandrex::desktop
