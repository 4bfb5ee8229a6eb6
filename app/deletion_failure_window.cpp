#include "deletion_failure_window.h"

#include "dialog_geometry.h"
#include "errors/err_trap.h"
#include "shellaid/loaded_windows.h"

#include <QAbstractTableModel>
#include <QCloseEvent>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QResizeEvent>
#include <QStyle>
#include <QTreeView>
#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>

namespace zandrex::desktop {

namespace {

constexpr const char* kWindowName = "Form3";
constexpr const char* kCaption = "Deletion failure";
constexpr const char* kOkCaption = "OK";

// Design geometry, in twips.
constexpr int kInnerWidth = 10980;
constexpr int kInnerHeight = 8175;
constexpr int kGridLeft = 120;
constexpr int kGridTop = 120;
constexpr int kButtonWidth = 1215;
constexpr int kButtonHeight = 375;
constexpr int kLabelLeft = 120;
constexpr int kLabelWidth = 4935;
constexpr int kLabelHeight = 255;
// What the grid leaves of the inner height and of the outer width, and the gap under it.
constexpr int kGridHeightAllowance = 760;
constexpr int kGridWidthAllowance = 350;
constexpr int kGapUnderGrid = 150;

// The failure grid's rows as a flat list; resets whenever the grid rebuilds or clears its rows.
// The grid may be destroyed before this model (the window is a child of the window that owns
// the grid), so the model never touches the grid's hooks again once installed, and stops
// reading the grid once detached.
class FailureListModel : public QAbstractTableModel {
public:
  explicit FailureListModel(ReportGrid& grid, QObject* parent)
      : QAbstractTableModel(parent), grid_(&grid),
        self_(std::make_shared<FailureListModel*>(this)) {
    std::weak_ptr<FailureListModel*> self = self_;
    std::function<void()> before = grid.onBeforeRowsChange;
    std::function<void()> after = grid.onAfterRowsChange;
    grid.onBeforeRowsChange = [self, before] {
      if (before)
        before();
      if (auto model = self.lock())
        (*model)->beginResetModel();
    };
    grid.onAfterRowsChange = [self, after] {
      if (auto model = self.lock())
        (*model)->endResetModel();
      if (after)
        after();
    };
  }

  void refresh() {
    beginResetModel();
    endResetModel();
  }
  // From now on the model is empty and never reads the grid again.
  void detach() {
    beginResetModel();
    grid_ = nullptr;
    endResetModel();
  }

  int rowCount(const QModelIndex& parent = {}) const override {
    return parent.isValid() || !grid_ ? 0 : static_cast<int>(grid_->rowCount());
  }
  int columnCount(const QModelIndex& parent = {}) const override {
    return parent.isValid() || !grid_ ? 0 : grid_->columnCount();
  }

  // The tip shows a text the column cuts short in full.
  QVariant data(const QModelIndex& index, int role) const override {
    if (!grid_ || (role != Qt::DisplayRole && role != Qt::ToolTipRole) || !index.isValid() ||
        static_cast<std::size_t>(index.row()) >= grid_->rowCount())
      return {};
    const GridRow& row = grid_->row(static_cast<std::size_t>(index.row()));
    if (row.isGroup())
      return {};
    return QString::fromStdString(grid_->item(row.record, index.column()).displayText());
  }

  QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
    if (!grid_ || orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 ||
        section >= grid_->columnCount())
      return {};
    return QString::fromStdString(grid_->column(section).caption);
  }

private:
  ReportGrid* grid_;
  std::shared_ptr<FailureListModel*> self_;
};

} // namespace

struct Form3::Widgets {
  QTreeView* grid = nullptr;
  FailureListModel* model = nullptr;
  QLabel* count = nullptr;
  QPushButton* ok = nullptr;
};

Form3::Form3(FailureList& core, QWidget* owner) : QDialog(owner), core_(core), w_(new Widgets) {
  setObjectName(kWindowName);
  setWindowTitle(QString::fromUtf8(kCaption));
  setSizeGripEnabled(true);

  w_->grid = new QTreeView(this);
  w_->grid->setObjectName("ReportControl1");
  w_->grid->setGeometry(twipsToPixels(TwipsRect{kGridLeft, kGridTop, 0, 0}));
  w_->model = new FailureListModel(core_.grid(), this);

  w_->count = new QLabel(QString::fromStdString(core_.countLabel()), this);
  w_->count->setObjectName("lbFilesCount");
  w_->count->setGeometry(twipsToPixels(TwipsRect{kLabelLeft, 0, kLabelWidth, kLabelHeight}));

  w_->ok = new QPushButton(QString::fromUtf8(kOkCaption), this);
  w_->ok->setObjectName("bnOK");
  w_->ok->resize(twipsToPixels(kButtonWidth), twipsToPixels(kButtonHeight));
  w_->ok->setDefault(true);
  connect(w_->ok, &QPushButton::clicked, this, &Form3::bnOK_Click);

  load();
}

Form3::~Form3() {
  // The core may be gone already (it belongs to our owner, which deletes us last); hiding the
  // window on the way out repaints the list, which must not reach it.
  w_->model->detach();
  if (loaded_)
    markWindowUnloaded(kWindowName);
  delete w_;
}

void Form3::load() {
  if (loaded_)
    return;
  Form_Load();
  resize(twipsToPixels(kInnerWidth), twipsToPixels(kInnerHeight));
  Form_Resize();
  loaded_ = true;
  markWindowLoaded(kWindowName);
}

void Form3::unload() {
  if (!loaded_)
    return;
  w_->grid->setModel(nullptr);
  loaded_ = false;
  markWindowUnloaded(kWindowName);
}

QTreeView* Form3::ReportControl1() const {
  return w_->grid;
}
QLabel* Form3::lbFilesCount() const {
  return w_->count;
}
QPushButton* Form3::bnOK() const {
  return w_->ok;
}

void Form3::Form_Load() {
  trapEvent("Form3.Form_Load", [&] {
    QTreeView* grid = w_->grid;
    grid->setModel(w_->model);
    grid->setRootIsDecorated(false);
    grid->setItemsExpandable(false);
    grid->setUniformRowHeights(true);
    grid->setAlternatingRowColors(true);
    grid->setSelectionBehavior(QAbstractItemView::SelectRows);
    grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid->setSortingEnabled(false);
    grid->setTextElideMode(Qt::ElideMiddle);
    QHeaderView* header = grid->header();
    header->setStretchLastSection(true);
    for (int column = 0; column < core_.grid().columnCount(); ++column) {
      const GridColumn& design = core_.grid().column(column);
      header->setSectionResizeMode(column, design.resizable ? QHeaderView::Interactive
                                                            : QHeaderView::Fixed);
      header->resizeSection(column, design.width);
    }
    fitColumns();
  });
}

void Form3::fitColumns() {
  QTreeView* grid = w_->grid;
  QHeaderView* header = grid->header();
  const ReportGrid& design = core_.grid();
  if (design.columnCount() <= failcol::kReason)
    return;
  // The grid's width at the design size (the outer width is at least the inner one), less its
  // frame and a vertical scroll bar, which shows as soon as the rows outgrow the grid.
  const int viewport = twipsToPixels(kInnerWidth - kGridWidthAllowance) - 2 * grid->frameWidth() -
                       grid->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, grid);
  const QFontMetrics text = grid->fontMetrics();
  const QFontMetrics caption = header->fontMetrics();
  const int padding = 2 * text.averageCharWidth();
  auto fitting = [&](int column, const char* widest) {
    return std::max(
               text.horizontalAdvance(QString::fromLatin1(widest)),
               caption.horizontalAdvance(QString::fromStdString(design.column(column).caption))) +
           padding;
  };
  const int size = fitting(failcol::kSize, "000000000000");
  const int date = fitting(failcol::kDate, "0000.00.00 00:00:00");
  // The rest goes to the path, the name and the reason in the proportions of their design
  // widths; the path is cut short in the middle where it does not fit.
  const int rest = std::max(0, viewport - size - date);
  const int pathShare = design.column(failcol::kPath).width;
  const int fileShare = design.column(failcol::kFile).width;
  const int shares = std::max(1, pathShare + fileShare + design.column(failcol::kReason).width);
  const int path = rest * pathShare / shares;
  const int file = rest * fileShare / shares;
  header->resizeSection(failcol::kPath, path);
  header->resizeSection(failcol::kFile, file);
  header->resizeSection(failcol::kSize, size);
  header->resizeSection(failcol::kDate, date);
  header->resizeSection(failcol::kReason, std::max(0, rest - path - file));
}

void Form3::showModalOverOwner() {
  load();
  refreshFromCore();
  centreOverOwner();
  exec();
}

void Form3::refreshFromCore() {
  load();
  w_->model->refresh();
  w_->count->setText(QString::fromStdString(core_.countLabel()));
  // The last run's way: "Deletion failure", "Moving to the trash failure", "Linking failure".
  setWindowTitle(QString::fromStdString(core_.title()));
}

// Client areas are centred on each other: our frame is not known before the first showing, and
// with equal frames the outer rectangles line up too.
void Form3::centreOverOwner() {
  QWidget* owner = parentWidget();
  if (!owner)
    return;
  const QRect ownerArea = owner->window()->geometry();
  const QPoint centre = ownerArea.topLeft() + QPoint(ownerArea.width() / 2, ownerArea.height() / 2);
  setGeometry(QRect(centre - QPoint(width() / 2, height() / 2), size()));
}

void Form3::bnOK_Click() {
  trapEvent("Form3.bnOK_Click", [&] { accept(); });
}

void Form3::resizeEvent(QResizeEvent* event) {
  QDialog::resizeEvent(event);
  Form_Resize();
}

void Form3::closeEvent(QCloseEvent* event) {
  const std::int16_t cancel = 0;
  trapEvent(
      "Form3.Form_Unload(Cancel)", [] {}, cancel);
  QDialog::closeEvent(event);
  if (event->isAccepted())
    unload();
}

// The grid fills the window but for a band at the bottom that holds the count line and the OK
// button, the button right-aligned with the grid. A window smaller than the margins leaves the
// grid at zero size rather than negative, and the button at the left edge rather than outside.
void Form3::Form_Resize() {
  trapEvent("Form3.Form_Resize", [&] {
    if (isMinimized())
      return;
    QTreeView* grid = w_->grid;
    const int innerHeight = pixelsToTwips(height());
    const int outerWidth = pixelsToTwips(frameGeometry().width());
    const int gridHeight = std::max(0, innerHeight - kGridHeightAllowance);
    grid->resize(grid->width(), twipsToPixels(gridHeight));

    const int lineTop = grid->y() + grid->height() + twipsToPixels(kGapUnderGrid);
    w_->ok->move(w_->ok->x(), lineTop);
    w_->count->move(w_->count->x(), lineTop);

    const int gridWidth = std::max(0, outerWidth - kGridWidthAllowance);
    grid->resize(twipsToPixels(gridWidth), grid->height());
    w_->ok->move(std::max(0, grid->x() + grid->width() - w_->ok->width()), lineTop);
  });
}

} // namespace zandrex::desktop
