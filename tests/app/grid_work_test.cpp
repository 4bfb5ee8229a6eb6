// Working in the main window's grid on the offscreen platform: sorting by the header and by the
// group menu, the selection helpers through their menu actions, deletion with failed rows staying
// ticked, hard-link marks, double-click to the file manager, Enter and Space, and a big result
// opening its groups as they come into view.
#include "desktop_shell.h"
#include "form1_fixture.h"

#include <QAbstractItemModelTester>
#include <QAction>
#include <QHeaderView>
#include <QMenu>
#include <QTest>
#include <QToolButton>
#include <QTreeView>
#include <QUrl>
#include <algorithm>
#include <set>
#include <unistd.h>
#include <utility>

namespace zandrex::desktop {
namespace {

using Paths = std::vector<std::string>;
using Groups = std::vector<Paths>;
using PathSet = std::set<std::string>;

class GridWorkTest : public Form1Fixture {
protected:
  std::vector<QStringList> shownItems;

  void SetUp() override {
    // By name: photo.jpg x3 (4 bytes each), x.txt x2 (6 bytes each); one file of its own.
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
  }
  void TearDown() override { setItemShower({}); }

  void write(const std::string& relative, const std::string& content, std::int64_t mtime) {
    tree.write(relative, content);
    tree.setMtime(relative, mtime);
  }
  std::string data(const std::string& relative) const { return tree.path() + "data/" + relative; }

  Form1& openAndFind() {
    Form1& window = open();
    choose(tree.path() + "data");
    find(ByName);
    return window;
  }

  QTreeView* grid() const { return control<QTreeView>("ReportControl1"); }
  void clickHeader(int column) {
    QHeaderView* header = grid()->header();
    const QPoint at(header->sectionViewportPosition(column) + header->sectionSize(column) / 2,
                    header->height() / 2);
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, at);
  }
  static void triggerIn(const QList<QAction*>& items, const char* caption) {
    const auto item = std::find_if(items.begin(), items.end(),
                                   [&](QAction* action) { return action->text() == caption; });
    ASSERT_NE(item, items.end()) << caption;
    (*item)->trigger();
  }
  // An item of the "Select" button's menu; a group order from the header's context menu.
  void trigger(const char* caption) {
    triggerIn(control<QToolButton>("bnSelect")->menu()->actions(), caption);
  }
  void sortGroups(const char* caption) {
    triggerIn(form->gridActions()->headerMenu()->actions(), caption);
  }

  // The path of a file row, relative to data/.
  std::string pathAt(const QModelIndex& index) const {
    const ReportGrid& rows = form->core().grid();
    return form->core()
        .fullPath(rows.row(model().rowPosition(index)).record)
        .substr(data("").size());
  }
  // The view's groups, each with its files' paths in view order.
  Groups shown() const {
    Groups groups;
    for (int group = 0; group < model().rowCount(); ++group) {
      const QModelIndex parent = model().index(group, 0);
      groups.emplace_back();
      for (int file = 0; file < model().rowCount(parent); ++file)
        groups.back().push_back(pathAt(model().index(file, 0, parent)));
    }
    return groups;
  }
  QModelIndex fileIndex(const std::string& path) const {
    for (int group = 0; group < model().rowCount(); ++group)
      for (int file = 0; file < model().rowCount(model().index(group, 0)); ++file)
        if (const QModelIndex at = model().index(file, 0, model().index(group, 0));
            pathAt(at) == path)
          return at;
    ADD_FAILURE() << "not listed: " << path;
    return {};
  }
  // The ticked files as the view shows them.
  PathSet ticked() const {
    PathSet paths;
    for (const Paths& group : shown())
      for (const std::string& path : group)
        if (fileIndex(path).data(Qt::CheckStateRole).toInt() == Qt::Checked)
          paths.insert(path);
    return paths;
  }
};

// The view's state (collapsed groups, spanned headings, the current row) moves with the rows.
TEST_F(GridWorkTest, HeaderClicksSortFilesAndGroupsAndTheSortSurvivesANewFind) {
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
  EXPECT_EQ(view->header()->sortIndicatorSection(), col::kFile);
  EXPECT_EQ(view->header()->sortIndicatorOrder(), Qt::DescendingOrder);
  EXPECT_TRUE(view->isExpanded(model().index(0, 0)));
  EXPECT_FALSE(view->isExpanded(model().index(1, 0)));
  EXPECT_TRUE(view->isFirstColumnSpanned(1, QModelIndex()));
  EXPECT_EQ(pathAt(view->currentIndex()), "c/deep/photo.jpg");

  // "Date" differs within groups: it orders the files and leaves the groups as they are.
  clickHeader(col::kDate);
  const Paths photosByDate = {"a/photo.jpg", "c/deep/photo.jpg", "b/photo.jpg"};
  EXPECT_EQ(shown(), (Groups{{"b/x.txt", "a/x.txt"}, photosByDate}));
  clickHeader(col::kDate);
  const Paths photosNewest = {"b/photo.jpg", "c/deep/photo.jpg", "a/photo.jpg"};
  EXPECT_EQ(shown(), (Groups{texts, photosNewest}));
  EXPECT_EQ(pathAt(view->currentIndex()), "c/deep/photo.jpg");

  // A new find keeps the sort, and by size the groups follow "Size".
  find(BySize);
  EXPECT_EQ(shown(), (Groups{texts, photosNewest}));
  clickHeader(col::kSize);
  EXPECT_EQ(shown(), (Groups{photos, texts}));

  // The group menu: largest first, then reversed; the key order back.
  sortGroups(kGroupsByCountCaption);
  EXPECT_EQ(shown(), (Groups{photos, texts}));
  EXPECT_EQ(form->selectionReport(), "Groups sorted by file count, most first");
  EXPECT_TRUE(form->gridActions()->action(kGroupsByCountCaption)->isChecked());
  sortGroups(kGroupsByCountCaption);
  EXPECT_EQ(shown(), (Groups{texts, photos}));
  // Reclaimable: photo.jpg frees 8 bytes, x.txt 6.
  sortGroups(kGroupsByReclaimableCaption);
  EXPECT_EQ(shown(), (Groups{photos, texts}));
  sortGroups(kGroupsByReclaimableCaption);
  EXPECT_EQ(shown(), (Groups{texts, photos}));
  EXPECT_EQ(form->selectionReport(), "Groups sorted by reclaimable space, least first");
  // The grid's context menu offers the same choices in a submenu.
  const std::unique_ptr<QMenu> gridMenu = form->gridActions()->gridMenu({});
  const QList<QAction*> items = gridMenu->actions();
  const auto sub = std::find_if(items.begin(), items.end(),
                                [](QAction* item) { return item->menu() != nullptr; });
  ASSERT_NE(sub, items.end());
  triggerIn((*sub)->menu()->actions(), kGroupsByKeyCaption);
  EXPECT_EQ(model().currentSort().groups, GroupSort::Key);
  EXPECT_EQ(shown(), (Groups{photos, texts})); // size keys: 4 before 6
}

TEST_F(GridWorkTest, EachHelperTicksThroughItsMenuActionAndReportsBesideTheCounts) {
  Form1& window = openAndFind();
  EXPECT_TRUE(control<QToolButton>("bnSelect")->isEnabled());
  EXPECT_EQ(control<QToolButton>("bnSelect")->text(), "Select");
  EXPECT_EQ(window.statusText(), "5 files");
  EXPECT_EQ(window.statusText2(), "14 bytes reclaimable");

  trigger(kKeepNewestCaption);
  EXPECT_EQ(ticked(), (PathSet{"a/photo.jpg", "c/deep/photo.jpg", "b/x.txt"}));
  EXPECT_EQ(window.selectionReport(), "Ticked 3 files in 2 groups");
  EXPECT_EQ(window.statusText(), "5 files");
  EXPECT_EQ(window.statusText2(), "14 bytes reclaimable");
  trigger(kKeepOldestCaption);
  EXPECT_EQ(ticked(), (PathSet{"b/photo.jpg", "c/deep/photo.jpg", "a/x.txt"}));
  trigger(kKeepFirstCaption);
  const PathSet allButFirst = {"b/photo.jpg", "c/deep/photo.jpg", "b/x.txt"};
  EXPECT_EQ(ticked(), allButFirst);
  // a/ and b/ paths are as long as each other: both groups break a tie by path.
  trigger(kKeepShortestCaption);
  EXPECT_EQ(ticked(), allButFirst);
  EXPECT_EQ(window.selectionReport(), "Ticked 3 files in 2 groups; 2 ties broken by path");
  trigger(kUntickAllCaption);
  EXPECT_TRUE(ticked().empty());
  EXPECT_EQ(window.selectionReport(), "Unticked 3 files");

  // The folder chooser opens at the source; cancelling ticks nothing.
  chosenFolder = QString::fromStdString(data("b"));
  trigger(kTickFolderCaption);
  EXPECT_EQ(chooserStart.toStdString(), tree.path() + "data/");
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

  // While a find runs, the helpers are ignored.
  bool triedWhileBusy = false;
  window.onEventPass = [&] {
    if (!std::exchange(triedWhileBusy, true))
      trigger(kKeepNewestCaption);
  };
  find(ByName);
  EXPECT_TRUE(triedWhileBusy);
  EXPECT_TRUE(ticked().empty());
  EXPECT_EQ(window.selectionReport(), "");
}

TEST_F(GridWorkTest, FailedRowsStayTickedAfterTheDeletionAndAfterSorting) {
  openAndFind();
  trigger(kKeepNewestCaption);
  // One ticked file changes after the find: the guard refuses it.
  write("data/c/deep/photo.jpg", "AAAA", 2500);
  clickHeader(col::kPath);
  click("Command4");

  EXPECT_EQ(failureWindows.size(), 1u);
  EXPECT_FALSE(QFile::exists(QString::fromStdString(data("a/photo.jpg"))));
  EXPECT_FALSE(QFile::exists(QString::fromStdString(data("b/x.txt"))));
  EXPECT_EQ(shown(), (Groups{{"b/photo.jpg", "c/deep/photo.jpg"}, {"a/x.txt"}}));
  EXPECT_EQ(ticked(), PathSet{"c/deep/photo.jpg"});
  clickHeader(col::kPath);
  EXPECT_EQ(shown(), (Groups{{"c/deep/photo.jpg", "b/photo.jpg"}, {"a/x.txt"}}));
  EXPECT_EQ(ticked(), PathSet{"c/deep/photo.jpg"});
}

TEST_F(GridWorkTest, HardLinkedNamesAreMarkedAndFreeNothing) {
  tree.mkdir("data/d");
  ASSERT_EQ(::link(data("a/photo.jpg").c_str(), data("d/photo.jpg").c_str()), 0);
  openAndFind();
  const QModelIndex link = fileIndex("d/photo.jpg");
  const QModelIndex name = link.siblingAtColumn(col::kFile);
  EXPECT_EQ(name.data().toString(), "photo.jpg (hard link)");
  EXPECT_EQ(link.data(Qt::ToolTipRole).toString(),
            "Another name of a file listed above in this group: deleting it frees no space");
  const QModelIndex original = fileIndex("a/photo.jpg").siblingAtColumn(col::kFile);
  EXPECT_EQ(original.data().toString(), "photo.jpg");
  EXPECT_FALSE(original.data(Qt::ToolTipRole).isValid());
  // Four names of three files of 4 bytes: 8 bytes to free.
  EXPECT_EQ(link.parent().data().toString(), "File: photo.jpg (4 files, 8 bytes reclaimable)");
}

TEST_F(GridWorkTest, DoubleClickShowsTheFileAndEnterOrSpaceToggleItsTick) {
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
  EXPECT_EQ(shownItems.size(), 1u);

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

} // namespace
} // namespace zandrex::desktop

namespace zandrex::desktop {
namespace {

using LazyExpansionTest = Form1Fixture;

TEST_F(LazyExpansionTest, BigResultsOpenTheirGroupsAsTheyComeIntoView) {
  constexpr int kGroups = 80;
  for (int i = 0; i < kGroups; ++i) {
    const std::string name = "n" + std::to_string(100 + i);
    tree.writeEach({"a/" + name, "b/" + name}, name);
  }
  Form1& window = open();
  window.rowsExpandedAtOnce = 0;
  choose(tree.path());
  find(ByName);
  QApplication::processEvents();
  auto* view = control<QTreeView>("ReportControl1");
  auto groupAt = [&](int row) { return model().index(row, 0); };
  auto groupOnTop = [&] {
    const QModelIndex top = view->indexAt(QPoint(0, 0));
    return top.parent().isValid() ? top.parent() : top;
  };
  ASSERT_EQ(groups(), kGroups);
  EXPECT_TRUE(view->isExpanded(groupAt(0)));
  EXPECT_FALSE(view->isExpanded(groupAt(kGroups - 1)));

  // A group the user closes stays closed when it comes into view again.
  view->collapse(groupAt(1));
  view->scrollToBottom();
  QApplication::processEvents();
  const QModelIndex bottom = groupOnTop();
  EXPECT_GT(bottom.row(), kGroups / 2);
  EXPECT_TRUE(view->isExpanded(bottom));
  EXPECT_FALSE(view->isExpanded(groupAt(kGroups / 2))); // never in view
  view->scrollToTop();
  QApplication::processEvents();
  EXPECT_TRUE(view->isExpanded(groupAt(0)));
  EXPECT_FALSE(view->isExpanded(groupAt(1)));
  EXPECT_TRUE(view->isExpanded(groupAt(2)));
}

} // namespace
} // namespace zandrex::desktop
