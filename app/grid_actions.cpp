#include "grid_actions.h"

#include "desktop_shell.h"
#include "errors/err_trap.h"
#include "local_path.h"
#include "protected_folders_dialog.h"
#include "source/path_routines.h"

#include <QAction>
#include <QActionGroup>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QMenu>
#include <QTreeView>

namespace zandrex::desktop {

namespace {

// A folder caption longer than this many characters keeps its start and its end.
constexpr qsizetype kLongestFolderCaption = 60;
constexpr qsizetype kFolderCaptionHead = 20;
constexpr const char* kEllipsis = "\u2026";
constexpr const char* kNoGroupReport = "Choose a row of a group first";

struct GroupSortDesign {
  GroupSort by;
  const char* name;
  const char* caption;
  // The order a newly chosen criterion starts with, and how the report names both orders.
  Qt::SortOrder firstOrder;
  const char* ascending;
  const char* descending;
};
constexpr GroupSortDesign kGroupSorts[] = {
    {GroupSort::Key, "actGroupsByKey", kGroupsByKeyCaption, Qt::AscendingOrder,
     "Groups sorted by key", "Groups sorted by key, last first"},
    {GroupSort::Count, "actGroupsByCount", kGroupsByCountCaption, Qt::DescendingOrder,
     "Groups sorted by file count, fewest first", "Groups sorted by file count, most first"},
    {GroupSort::Reclaimable, "actGroupsByReclaimable", kGroupsByReclaimableCaption,
     Qt::DescendingOrder, "Groups sorted by reclaimable space, least first",
     "Groups sorted by reclaimable space, most first"},
};

const GroupSortDesign* groupSortDesign(GroupSort by) {
  for (const GroupSortDesign& design : kGroupSorts)
    if (design.by == by)
      return &design;
  return nullptr;
}

Qt::SortOrder reversed(Qt::SortOrder order) {
  return order == Qt::AscendingOrder ? Qt::DescendingOrder : Qt::AscendingOrder;
}

} // namespace

QString tickFolderCaption(const QString& folder) {
  QString shown = folder;
  if (shown.size() > kLongestFolderCaption)
    shown = shown.left(kFolderCaptionHead) + QString::fromUtf8(kEllipsis) +
            shown.right(kLongestFolderCaption - kFolderCaptionHead - 1);
  shown.replace(QLatin1Char('&'), QLatin1String("&&"));
  return QStringLiteral("Tick every file in ") + shown;
}

GridActions::GridActions(DuplicateFinder& core, FileGridModel& model, QTreeView& view,
                         QWidget* owner)
    : QObject(owner), core_(core), model_(model), view_(view), owner_(owner) {
  chooseFolder = [](const QString&) { return QString(); };
  report = [](const QString&) {};
  editProtectedFolders = [] {};

  addAction("actKeepNewest", kKeepNewestCaption, [this] { keep(KeepRule::Newest); });
  addAction("actKeepOldest", kKeepOldestCaption, [this] { keep(KeepRule::Oldest); });
  addAction("actKeepFirst", kKeepFirstCaption, [this] { keep(KeepRule::First); });
  addAction("actKeepShortest", kKeepShortestCaption, [this] { keep(KeepRule::Shortest); });
  addAction("actTickFolder", kTickFolderCaption, [this] { chooseAndTickFolder(); });
  addAction("actUntickAll", kUntickAllCaption, [this] { untickAll(); });
  addAction("actInvertGroup", kInvertGroupCaption, [this] { invertGroupAt(view_.currentIndex()); });
  addAction("actProtectedFolders", kProtectedFoldersCaption, [this] {
    if (!core_.busy())
      editProtectedFolders();
  });
  sortGroup_ = new QActionGroup(this);
  for (const GroupSortDesign& design : kGroupSorts) {
    QAction* sort =
        addAction(design.name, design.caption, [this, by = design.by] { sortGroupsBy(by); });
    sort->setCheckable(true);
    sortGroup_->addAction(sort);
  }
  syncSortChecks();

  selectMenu_ = new QMenu(owner);
  selectMenu_->setObjectName("mnuSelect");
  addHelpers(*selectMenu_);
  selectMenu_->addAction(action(kInvertGroupCaption));
  selectMenu_->addSeparator();
  selectMenu_->addAction(action(kProtectedFoldersCaption));

  view_.installEventFilter(this);
  view_.setContextMenuPolicy(Qt::CustomContextMenu);
  connect(&view_, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
    if (core_.busy())
      return;
    std::unique_ptr<QMenu> menu = gridMenu(view_.indexAt(pos));
    menu->exec(view_.viewport()->mapToGlobal(pos));
  });
  connect(&view_, &QAbstractItemView::doubleClicked, this,
          [this](const QModelIndex& index) { showInFileManager(index); });

  QHeaderView* header = view_.header();
  header->setSectionsClickable(true);
  header->setSortIndicatorShown(true);
  header->setSortIndicator(-1, Qt::AscendingOrder);
  connect(header, &QHeaderView::sortIndicatorChanged, this,
          [this](int column, Qt::SortOrder order) { model_.sortFiles(column, order); });
  header->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(header, &QWidget::customContextMenuRequested, this, [this, header](const QPoint& pos) {
    std::unique_ptr<QMenu> menu = headerMenu();
    menu->exec(header->mapToGlobal(pos));
  });
}

GridActions::~GridActions() = default;

QAction* GridActions::addAction(const char* name, const char* caption, std::function<void()> run) {
  auto* created = new QAction(QString::fromUtf8(caption), this);
  created->setObjectName(name);
  connect(created, &QAction::triggered, this, [run = std::move(run)] { run(); });
  actions_.push_back(created);
  return created;
}

QAction* GridActions::action(const QString& caption) const {
  for (QAction* candidate : actions_)
    if (candidate->text() == caption)
      return candidate;
  return nullptr;
}

void GridActions::addHelpers(QMenu& menu) const {
  for (const char* caption :
       {kKeepNewestCaption, kKeepOldestCaption, kKeepFirstCaption, kKeepShortestCaption})
    menu.addAction(action(caption));
  menu.addSeparator();
  menu.addAction(action(kTickFolderCaption));
  menu.addAction(action(kUntickAllCaption));
}

void GridActions::addGroupSort(QMenu& menu) const {
  for (const GroupSortDesign& design : kGroupSorts)
    menu.addAction(action(design.caption));
}

std::unique_ptr<QMenu> GridActions::gridMenu(const QModelIndex& at) {
  syncSortChecks();
  auto menu = std::make_unique<QMenu>(owner_);
  menu->setObjectName("mnuGrid");
  addHelpers(*menu);
  const std::size_t position = model_.rowPosition(at);
  const ReportGrid& grid = core_.grid();
  if (position < grid.rowCount() && !grid.row(position).isGroup()) {
    const std::string folder(grid.item(grid.row(position).record, col::kPath).asText());
    QAction* here = menu->addAction(tickFolderCaption(localPath(folder)),
                                    [this, folder] { tickFolder(folder); });
    here->setObjectName("actTickThisFolder");
  }
  menu->addSeparator();
  const QPersistentModelIndex row(at);
  QAction* invert =
      menu->addAction(QString::fromUtf8(kInvertGroupCaption), [this, row] { invertGroupAt(row); });
  invert->setObjectName("actInvertThisGroup");
  invert->setEnabled(model_.groupPosition(at) != SIZE_MAX);
  menu->addSeparator();
  QMenu* sort = menu->addMenu(QString::fromUtf8(kSortGroupsCaption));
  addGroupSort(*sort);
  // Here too: before the first find the "Select" button is not enabled.
  menu->addSeparator();
  menu->addAction(action(kProtectedFoldersCaption));
  for (QAction* extra : gridMenuExtras_)
    menu->addAction(extra);
  return menu;
}

std::unique_ptr<QMenu> GridActions::headerMenu() {
  syncSortChecks();
  auto menu = std::make_unique<QMenu>(owner_);
  menu->setObjectName("mnuHeader");
  menu->addSection(QString::fromUtf8(kSortGroupsCaption));
  addGroupSort(*menu);
  return menu;
}

PathOf GridActions::pathOf() const {
  return [this](RecordId record) { return core_.fullPath(record); };
}

void GridActions::showReport(const std::string& text) {
  report(QString::fromStdString(text));
}

void GridActions::keep(KeepRule rule) {
  if (core_.busy())
    return;
  // The finder traps, and proves each copy's bytes before it ticks it.
  const SelectionResult result = core_.keepOneInEachGroup(rule);
  ticksChanged();
  showReport(tickedReport(result));
}

void GridActions::tickFolder(const std::string& folder) {
  if (core_.busy() || folder.empty())
    return;
  trapEvent("Form1.mnuSelectFolder_Click", [&] {
    const SelectionResult result =
        tickInsideFolder(core_.grid(), folder, pathOf(), &core_.protectedMarks());
    ticksChanged();
    showReport(tickedReport(result));
  });
}

void GridActions::ticksChanged() {
  model_.ticksChanged();
  // The model's one signal covers the rows from the first group row to the last, and the tree
  // view repaints no further: files of the last group shown below every group row would keep
  // their old tick boxes.
  view_.viewport()->update();
}

void GridActions::chooseAndTickFolder() {
  if (core_.busy())
    return;
  const QString start = localPath(core_.source());
  const std::string chosen = withTrailingSlash(localPath(chooseFolder(start)));
  tickFolder(chosen);
}

void GridActions::untickAll() {
  if (core_.busy())
    return;
  trapEvent("Form1.mnuSelectUntick_Click", [&] {
    const SelectionResult result = zandrex::untickAll(core_.grid());
    ticksChanged();
    showReport(untickedReport(result));
  });
}

void GridActions::invertGroupAt(const QModelIndex& index) {
  if (core_.busy())
    return;
  const std::size_t group = model_.groupPosition(index);
  if (group == SIZE_MAX) {
    showReport(kNoGroupReport);
    return;
  }
  trapEvent("Form1.mnuSelectInvert_Click", [&] {
    const SelectionResult result = invertGroup(core_.grid(), group, &core_.protectedMarks());
    model_.ticksChangedInGroup(group);
    // The model's one signal covers the files; the heading may have turned red or back.
    view_.update(model_.indexOfRow(group));
    showReport(tickedReport(result));
  });
}

void GridActions::sortGroupsBy(GroupSort by) {
  const GroupSortDesign* design = groupSortDesign(by);
  if (!design)
    return;
  const GridSort& now = model_.currentSort();
  const Qt::SortOrder order = now.groups == by ? reversed(now.groupOrder) : design->firstOrder;
  model_.sortGroups(by, order);
  syncSortChecks();
  showReport(order == Qt::AscendingOrder ? design->ascending : design->descending);
}

void GridActions::syncSortChecks() {
  // A column sort of the groups checks none of the three.
  for (const GroupSortDesign& design : kGroupSorts)
    action(design.caption)->setChecked(model_.currentSort().groups == design.by);
}

bool GridActions::toggleTick(const QModelIndex& index) {
  const QModelIndex box = index.siblingAtColumn(0);
  if (!(model_.flags(box) & Qt::ItemIsUserCheckable))
    return false;
  const bool ticked = model_.data(box, Qt::CheckStateRole).toInt() == Qt::Checked;
  return model_.setData(box, ticked ? Qt::Unchecked : Qt::Checked, Qt::CheckStateRole);
}

bool GridActions::showInFileManager(const QModelIndex& index) {
  const std::size_t position = model_.rowPosition(index);
  const ReportGrid& grid = core_.grid();
  if (position >= grid.rowCount() || grid.row(position).isGroup())
    return false;
  OpenInExplorerList(owner_, localPath(core_.fullPath(grid.row(position).record)));
  return true;
}

bool GridActions::selectAll() {
  QItemSelectionModel* selection = view_.selectionModel();
  const QAbstractItemView::SelectionMode mode = view_.selectionMode();
  if (!selection || mode == QAbstractItemView::NoSelection ||
      mode == QAbstractItemView::SingleSelection)
    return false;
  const int rows = model_.rowCount();
  const int lastColumn = model_.columnCount() - 1;
  if (rows == 0 || lastColumn < 0)
    return true;
  // Whole rows already: with QItemSelectionModel::Rows the selection model would widen each
  // range and merge it into the ones before, a test of every range against every other.
  QItemSelection all;
  all.append(QItemSelectionRange(model_.index(0, 0), model_.index(rows - 1, lastColumn)));
  for (int row = 0; model_.grouped() && row < rows; ++row) {
    const QModelIndex group = model_.index(row, 0);
    const int files = model_.rowCount(group);
    if (files > 0 && view_.isExpanded(group))
      all.append(QItemSelectionRange(model_.index(0, 0, group),
                                     model_.index(files - 1, lastColumn, group)));
  }
  selection->select(all, QItemSelectionModel::ClearAndSelect);
  return true;
}

bool GridActions::eventFilter(QObject* watched, QEvent* event) {
  if (watched != &view_ || event->type() != QEvent::KeyPress)
    return QObject::eventFilter(watched, event);
  const auto* key = static_cast<QKeyEvent*>(event);
  if (key->matches(QKeySequence::SelectAll))
    return selectAll() || QObject::eventFilter(watched, event);
  const bool toggleKey =
      key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter || key->key() == Qt::Key_Space;
  const bool plain = (key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
  if (!toggleKey || !plain || core_.busy())
    return QObject::eventFilter(watched, event);
  // Group rows keep the view's own keys.
  return toggleTick(view_.currentIndex());
}

} // namespace zandrex::desktop
