#include "main_window.h"

#include "about_window.h"
#include "deletion_failure_window.h"
#include "errors/err_trap.h"
#include "filter_controls.h"
#include "folder_chooser.h"
#include "list_saver.h"
#include "local_path.h"
#include "protected_folders_dialog.h"
#include "qt_settings.h"
#include "reclaim_actions.h"
#include "select/group_stats.h"
#include "settings/protected_folder_settings.h"
#include "shellaid/loaded_windows.h"
#include "source/path_routines.h"
#include "tick_tally_field.h"
#include "warning_window.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFontMetrics>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QStatusBar>
#include <QStyle>
#include <QTimer>
#include <QToolButton>
#include <QTreeView>
#include <QUrl>
#include <algorithm>
#include <climits>
#include <cmath>
#include <sys/stat.h>
#include <vector>

namespace zandrex::desktop {

namespace {

constexpr const char* kWindowName = "Form1";
constexpr const char* kPleaseWait = "Please wait...";
constexpr const char* kSourceHint = "Choose a disk or folder with ...";
// A local file URL names this host by no host or by this name.
constexpr const char* kLocalHost = "localhost";
constexpr const char* kUriListType = "text/uri-list";

// Stored choices: "Find duplicates by" is an index of the comparison list or -1 for none;
// "Subfolders" is the box's value, 2 being the greyed state.
constexpr int kNoComparison = -1;
constexpr int kDefaultComparison = ByName;
constexpr int kDefaultSubfolders = kSubfoldersTicked;

// Beside the three stored choices, the window keeps where it was: its client rectangle in logical
// pixels (left, top, width, height) and whether it was maximised.
constexpr const char* kWindowSection = "Window";
constexpr const char* kGeometryKeys[] = {"Left", "Top", "Width", "Height"};
constexpr const char* kMaximisedKey = "Maximised";
constexpr int kNoGeometry = 0;
constexpr int kLowestCoordinate = -32768;
constexpr int kHighestCoordinate = 32767;

// The largest maximum a progress bar is given; one less than the int range, so that the
// maximum can always lie above the minimum.
constexpr double kLargestMaximum = INT_MAX - 1;

// The popup of the comparison list is made wide enough for its longest item.
constexpr int kPopupMargin = 24;
// Above this many groups, headings are not spanned across the row (each span costs the view a
// persistent index; 100,000 take about a sixth of a second).
constexpr int kMostSpannedGroups = 100'000;
// A group bigger than this is not opened on sight: laying out its rows alone would stall the
// window; its heading says how many files it holds and a click opens it.
constexpr int kMostFilesOpenedOnSight = 20'000;

// A path or name column never shrinks below this part of its design width.
constexpr int kShrunkColumnPart = 3;
// The widest texts of the date and size columns (sizes up to 100 GB), and the room a cell takes
// besides.
constexpr const char* kWidestDate = "8888.88.88 88:88:88";
constexpr const char* kWidestSize = "88888888888";
constexpr int kCellPadding = 12;

// Room a caption needs besides its text: a label's, a button's bevel, a text line's frame.
constexpr int kLabelPadding = 2;
constexpr int kButtonPadding = 12;
// Room for the arrow of a menu button.
constexpr int kMenuArrowPadding = 16;
constexpr int kLinePadding = 6;

// The parts of a find's progress text, the path of the file being read last.
constexpr const char* kProgressPartSeparator = "; ";
// Fewer characters of a path than this say nothing: the whole progress text is cut instead.
constexpr int kLeastPathShown = 8;

QPushButton* button(const char* name, const char* caption, QWidget* parent) {
  auto* b = new QPushButton(caption, parent);
  b->setObjectName(name);
  b->setAutoDefault(false);
  return b;
}

QLabel* label(const char* name, const char* caption, QWidget* parent) {
  auto* l = new QLabel(caption, parent);
  l->setObjectName(name);
  return l;
}

QProgressBar* progressBar(const char* name, QWidget* parent) {
  auto* bar = new QProgressBar(parent);
  bar->setObjectName(name);
  bar->setTextVisible(false);
  bar->setRange(0, 1);
  bar->setValue(0);
  return bar;
}

} // namespace

std::string droppedFolder(const QMimeData& data) {
  const QList<QUrl> urls = data.urls();
  if (urls.size() != 1)
    return {};
  const QUrl& url = urls.front();
  if (!url.isLocalFile() || !(url.host().isEmpty() || url.host() == kLocalHost))
    return {};
  // The encoded path keeps a name's bytes that are not valid UTF-8.
  const std::string path =
      QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1()).toStdString();
  struct stat info {};
  if (path.empty() || path.front() != '/' || ::stat(path.c_str(), &info) != 0 ||
      !S_ISDIR(info.st_mode))
    return {};
  return path;
}

ProgressBarRange progressBarRange(const ProgressBar& bar) {
  const double minimum = std::isfinite(bar.min) ? std::max(0.0, double{bar.min}) : 0.0;
  const double maximum = std::isfinite(bar.max) ? std::max(minimum, double{bar.max}) : minimum;
  const double scale = maximum > kLargestMaximum ? kLargestMaximum / maximum : 1.0;
  ProgressBarRange range;
  range.minimum = static_cast<int>(std::lround(minimum * scale));
  range.maximum = std::max(range.minimum + 1, static_cast<int>(std::lround(maximum * scale)));
  const double value = std::isfinite(bar.value) ? bar.value * scale : 0.0;
  range.value = static_cast<int>(std::lround(
      std::clamp(value, static_cast<double>(range.minimum), static_cast<double>(range.maximum))));
  return range;
}

Form1::Form1(SettingsStore& settings, QWidget* parent)
    : QMainWindow(parent), settings_(settings), core_(*this, settings) {
  setObjectName(kWindowName);
  setWindowTitle(kAppTitle);
  model_ = new FileGridModel(core_.grid(), this);
  model_->setGroupHeading(groupHeading);
  model_->setNameColumn(col::kFile);
  model_->setProtectedTest([this](RecordId record) { return core_.isProtected(record); });
  pump_.beforeEvents = [this] { flushDisplay(); };
  setDefaultDialogs();
  setAcceptDrops(true);
  effectiveDpi_ = fittedDpi();
  buildControls();
  placeFixedControls();

  placeOnScreen();
  Form_Load();
  Form_Resize();
}

Form1::~Form1() {
  // Whatever way the window goes, the registry of loaded windows and the pointer stay balanced.
  if (loaded_ && !unloaded_)
    markWindowUnloaded(kWindowName);
  if (cursorOverridden_)
    QApplication::restoreOverrideCursor();
  // The children that read the core must go before it does; QObject would delete them after.
  delete failureWindow_;
  warningWindow_.reset();
  delete gridActions_;
  ReportControl1_->setModel(nullptr);
  delete model_;
}

void Form1::placeOnScreen() {
  const double dots = dpi();
  const int statusHeight = pixelsToTwips(statusBar()->sizeHint().height(), dots);
  setMinimumSize(twipsToPixels(kMinimumClientWidth, dots),
                 twipsToPixels(minimumClientHeight(statusHeight), dots));
  OpeningPlace place;
  place.design =
      QSize(twipsToPixels(kOpeningClientWidth, dots), twipsToPixels(kOpeningClientHeight, dots));
  place.stored = storedGeometry();
  QScreen* on = place.stored ? QGuiApplication::screenAt(place.stored->center()) : nullptr;
  if (!on)
    on = screen();
  place.available = on ? on->availableGeometry() : QRect(QPoint(), place.design);
  place.frame = kAssumedWindowFrame;
  place.minimum = minimumSize();
  setGeometry(openingGeometry(place));
  if (settings_.GetSetting(kAppTitle, kWindowSection, kMaximisedKey, "0") == "1")
    setWindowState(windowState() | Qt::WindowMaximized);
}

std::optional<QRect> Form1::storedGeometry() {
  int values[std::size(kGeometryKeys)] = {};
  for (std::size_t k = 0; k < std::size(kGeometryKeys); ++k)
    values[k] = integerSetting(settings_, kWindowSection, kGeometryKeys[k], kNoGeometry,
                               kLowestCoordinate, kHighestCoordinate);
  const QRect stored(values[0], values[1], values[2], values[3]);
  if (stored.width() <= 0 || stored.height() <= 0)
    return std::nullopt;
  return stored;
}

void Form1::saveGeometry() {
  const QRect normal = normalGeometry();
  const int values[] = {normal.left(), normal.top(), normal.width(), normal.height()};
  for (std::size_t k = 0; k < std::size(kGeometryKeys); ++k)
    settings_.SaveSetting(kAppTitle, kWindowSection, kGeometryKeys[k], std::to_string(values[k]));
  settings_.SaveSetting(kAppTitle, kWindowSection, kMaximisedKey, isMaximized() ? "1" : "0");
}

void Form1::bringToFront() {
  setWindowState(windowState() & ~Qt::WindowMinimized);
  show();
  raise();
  activateWindow();
  if (QWidget* modal = QApplication::activeModalWidget(); modal && modal != this) {
    modal->raise();
    modal->activateWindow();
  }
}

void Form1::setFailureWindow(Form3* window) {
  failureWindow_ = window;
}

double Form1::dpi() const {
  return effectiveDpi_;
}

double Form1::fittedDpi() const {
  const QFontMetrics metrics(font());
  QFont bold = font();
  bold.setBold(true);
  const QFontMetrics boldMetrics(bold);
  const double dots = logicalDpiX();
  return dots *
         fitScale({{metrics.horizontalAdvance("Searching:") + kLabelPadding, layout_.lblprb1.width},
                   {metrics.horizontalAdvance("Cancel") + kButtonPadding, design::bnCancel.width},
                   {boldMetrics.horizontalAdvance("Delete selected files") + kButtonPadding,
                    layout_.Command4.width},
                   {metrics.horizontalAdvance("Select") + kButtonPadding + kMenuArrowPadding,
                    layout_.bnSelect.width},
                   {metrics.height() + kLinePadding, design::fdFromForRename.height}},
                  dots);
}

void Form1::setDefaultDialogs() {
  dialogs.chooseFolder = [this](const QString& start) { return BrowseDrive(this, start); };
  dialogs.systemFolderWarning = [this](const std::string& list) {
    warningWindow_ = std::make_unique<Form4>(settings_, this);
    warningWindow_->SystemFolderList = list;
    warningWindow_->exec();
    return warningWindow_->ContinueAnyway;
  };
  dialogs.protectedFolders =
      [this](const std::vector<std::string>& folders) -> std::optional<std::vector<std::string>> {
    ProtectedFoldersDialog dialog(
        folders, [this](const QString& start) { return dialogs.chooseFolder(start); }, this);
    if (dialog.exec() != QDialog::Accepted)
      return std::nullopt;
    return dialog.folders();
  };
  dialogs.exclamation = [this](const QString& text) {
    QMessageBox::warning(this, kAppTitle, text);
  };
  dialogs.about = [this] {
    Form10 about(this);
    about.exec();
  };
  dialogs.failureWindow = [this](const std::string&) {
    if (failureWindow_)
      failureWindow_->showModalOverOwner();
  };
}

void Form1::buildControls() {
  client_ = new QWidget(this);
  client_->setObjectName("client");
  setCentralWidget(client_);
  buildSourceAndFind();
  buildGridArea();
  buildStatusBar();
  connectControls();
}

void Form1::buildSourceAndFind() {
  Frame6_ = new QGroupBox("Disk or folder", client_);
  Frame6_->setObjectName("Frame6");
  fdFromForRename_ = new QLineEdit(Frame6_);
  fdFromForRename_->setObjectName("fdFromForRename");
  fdFromForRename_->setReadOnly(true);
  fdFromForRename_->setPlaceholderText(kSourceHint);
  // A folder dropped on the box is the window's: the source changes as through "...".
  fdFromForRename_->setAcceptDrops(false);
  Command2_ = button("Command2", "...", Frame6_);

  chSubfolders_ = new QCheckBox("Subfolders", client_);
  chSubfolders_->setObjectName("chSubfolders");

  Frame1_ = new QGroupBox(client_);
  Frame1_->setObjectName("Frame1");
  cmbBy_ = new QComboBox(Frame1_);
  cmbBy_->setObjectName("cmbBy");
  Command3_ = button("Command3", "Find", Frame1_);
  bnCancel_ = button("bnCancel", "Cancel", Frame1_);
  filters_ = new FilterControls(core_, settings_, client_);
}

void Form1::buildGridArea() {
  ReportControl1_ = new QTreeView(client_);
  ReportControl1_->setObjectName("ReportControl1");
  ReportControl1_->setUniformRowHeights(true);
  ReportControl1_->setAllColumnsShowFocus(true);
  ReportControl1_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  ReportControl1_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  // A long path keeps both its ends in sight: its top folder and the folder the file is in.
  ReportControl1_->setTextElideMode(Qt::ElideMiddle);
  ReportControl1_->setModel(model_);

  Text1_ = new QPlainTextEdit(kPleaseWait, client_);
  Text1_->setObjectName("Text1");
  Text1_->setReadOnly(true);
  Text1_->setVisible(false);
  Text1_->setAcceptDrops(false);
  Text1_->viewport()->setAcceptDrops(false);

  Command4_ = button("Command4", "Delete selected files", client_);
  QFont bold = Command4_->font();
  bold.setBold(true);
  Command4_->setFont(bold);
  Command4_->setEnabled(false);

  gridActions_ = new GridActions(core_, *model_, *ReportControl1_, this);
  gridActions_->chooseFolder = [this](const QString& start) { return dialogs.chooseFolder(start); };
  gridActions_->editProtectedFolders = [this] { protectedFolders_Click(); };
  bnSelect_ = new QToolButton(client_);
  bnSelect_->setObjectName("bnSelect");
  bnSelect_->setText("Select");
  bnSelect_->setToolButtonStyle(Qt::ToolButtonTextOnly);
  bnSelect_->setPopupMode(QToolButton::InstantPopup);
  bnSelect_->setMenu(gridActions_->selectMenu());
  addReclaimActions(*gridActions_->selectMenu(), [this](ReclaimWay way) { reclaimTicked(way); });
  listSaver_ = new ListSaver(core_, this);
  listSaver_->showError = [this](const QString& text) { dialogs.exclamation(text); };
  listSaver_->report = [this](const QString& text) { statusPanel3_->setText(text); };
  gridActions_->selectMenu()->addSeparator();
  gridActions_->selectMenu()->addAction(listSaver_->action());
  gridActions_->addToGridMenu(listSaver_->action());
  bnSelect_->setEnabled(false);

  lblprb1_ = label("lblprb1", "Searching:", client_);
  ProgressBar1_ = progressBar("ProgressBar1", client_);
  lblprb2_ = label("lblprb2", progressCaption(ReclaimWay::Delete), client_);
  ProgressBar2_ = progressBar("ProgressBar2", client_);
  bnAbout_ = button("bnAbout", "About", client_);
}

void Form1::buildStatusBar() {
  statusBar()->setObjectName("StatusBar1");
  statusBar()->setSizeGripEnabled(true);
  statusPanel_ = label("StatusBar1Panel", "", statusBar());
  statusBar()->addWidget(statusPanel_, 1);
  statusPanel2_ = label("StatusBar1Panel2", "", statusBar());
  statusBar()->addWidget(statusPanel2_, 1);
  // The helpers' reports get a field of their own: a status-bar message would hide the two above.
  statusPanel3_ = label("StatusBar1Panel3", "", statusBar());
  // A find's progress names long paths: they are cut to the field, never widen the window.
  statusPanel3_->setSizePolicy(QSizePolicy::Ignored, statusPanel3_->sizePolicy().verticalPolicy());
  statusBar()->addWidget(statusPanel3_, 2);
  gridActions_->report = [this](const QString& text) { statusPanel3_->setText(text); };
  tallyField_ = new TickTallyField(statusBar());
  statusBar()->addPermanentWidget(tallyField_);
  tallyField_->showTally(model_->tally());
  connect(model_, &FileGridModel::tallyChanged, tallyField_,
          [this] { tallyField_->showTally(model_->tally()); });
}

void Form1::connectControls() {
  connect(Command2_, &QPushButton::clicked, this, [this] { Command2_Click(); });
  connect(Command3_, &QPushButton::clicked, this, [this] { Command3_Click(); });
  connect(bnCancel_, &QPushButton::clicked, this, [this] { bnCancel_Click(); });
  connect(Command4_, &QPushButton::clicked, this, [this] { Command4_Click(); });
  connect(bnAbout_, &QPushButton::clicked, this, [this] { bnAbout_Click(); });
  connect(chSubfolders_, &QCheckBox::clicked, this, [this] { chSubfolders_Click(); });
  connect(ReportControl1_, &QTreeView::expanded, this,
          [this](const QModelIndex& index) { ReportControl1_RowExpanded(index); });
  connect(ReportControl1_, &QTreeView::collapsed, this,
          [this](const QModelIndex& index) { ReportControl1_RowCollapsed(index); });
  connect(model_, &QAbstractItemModel::modelReset, this, [this] { gridRowsReset(); });
  // Scrolling, a resized window, opening a group or a sort bring other groups into view.
  QScrollBar* rows = ReportControl1_->verticalScrollBar();
  connect(rows, &QScrollBar::valueChanged, this, [this] { scheduleExpandInView(); });
  connect(rows, &QScrollBar::rangeChanged, this, [this] { scheduleExpandInView(); });
  connect(model_, &QAbstractItemModel::layoutChanged, this, [this] { scheduleExpandInView(); });
}

void Form1::placeFixedControls() {
  const double dots = dpi();
  Frame6_->setGeometry(twipsToPixels(design::Frame6, dots));
  fdFromForRename_->setGeometry(twipsToPixels(design::fdFromForRename, dots));
  Command2_->setGeometry(twipsToPixels(design::Command2, dots));
  // The box lies over the frame's lower part; a caption wider than the design keeps its text.
  QRect subfolders = twipsToPixels(design::chSubfolders, dots);
  subfolders.setWidth(std::max(subfolders.width(), chSubfolders_->sizeHint().width()));
  chSubfolders_->setGeometry(subfolders);
  chSubfolders_->raise();
  filters_->place(dots);
  cmbBy_->setGeometry(twipsToPixels(design::cmbBy, dots));
  Command3_->setGeometry(twipsToPixels(design::Command3, dots));
  bnCancel_->setGeometry(twipsToPixels(design::bnCancel, dots));
}

void Form1::Form_Load() {
  markWindowLoaded(kWindowName);
  loaded_ = true;
  trapEvent("Form1.Form_Load", [&] {
    for (const char* item : kComparisonItems)
      cmbBy_->addItem(item);
    cmbBy_->view()->setMinimumWidth(cmbBy_->view()->sizeHintForColumn(0) + kPopupMargin);
    cmbBy_->setCurrentIndex(integerSetting(settings_, "Settings", "Find duplicates by",
                                           kDefaultComparison, kNoComparison, ByContent));
    core_.setStatusText(filesText(0));
    core_.setUpGrid();
    model_->refresh();
    applyColumns(true);
    IniSettings("");
  });
}

void Form1::IniSettings(const std::string& pTemplateName) {
  trapInner(
      "Form1.IniSettings(pTemplateName)",
      [&] {
        setSource(settings_.GetSetting(kAppTitle, "Path", "Path", ""));
        filters_->load();
        core_.setProtectedFolders(loadProtectedFolders(settings_));
        const int subfolders = integerSetting(settings_, "Path", "Subfolders", kDefaultSubfolders,
                                              kSubfoldersUnticked, kSubfoldersGreyed);
        if (subfolders == kSubfoldersGreyed) {
          chSubfolders_->setTristate(true);
          chSubfolders_->setCheckState(Qt::PartiallyChecked);
          return;
        }
        chSubfolders_->setTristate(false);
        chSubfolders_->setChecked(subfolders == kSubfoldersTicked);
      },
      pTemplateName);
}

void Form1::setSource(const std::string& path) {
  // The finder ends it with "/", as the chooser's answers are: a stored "Path" without one is
  // shown, searched and saved again with it.
  core_.setSource(path);
  fdFromForRename_->setText(localPath(core_.source()));
}

void Form1::applyColumns(bool widths) {
  const ReportGrid& grid = core_.grid();
  for (int k = 0; k < grid.columnCount(); ++k)
    ReportControl1_->setColumnHidden(k, !grid.column(k).shown);
  if (widths)
    fitColumns();
}

void Form1::fitColumns() {
  // The shown columns share the grid's width in the proportions of their design widths while that
  // leaves the size and the date room for their texts (the date at least its design width).
  // Otherwise those keep that much, and the path and the name, whose texts elide in the middle,
  // share the rest, each down to a part of its design width.
  const ReportGrid& grid = core_.grid();
  const QFontMetrics metrics = ReportControl1_->fontMetrics();
  const int dateNeed = metrics.horizontalAdvance(kWidestDate) + kCellPadding;
  const int sizeNeed = metrics.horizontalAdvance(kWidestSize) + kCellPadding;
  const auto yields = [](int k) { return k == col::kPath || k == col::kFile; };
  const auto least = [&](int k) {
    if (k == col::kDate)
      return std::max(grid.column(k).width, dateNeed);
    if (k == col::kSize)
      return std::min(grid.column(k).width, sizeNeed);
    return grid.column(k).width;
  };
  std::vector<int> shown;
  int designTotal = 0;
  int yielding = 0;
  int kept = 0;
  for (int k = 0; k < grid.columnCount(); ++k) {
    if (!grid.column(k).shown)
      continue;
    shown.push_back(k);
    designTotal += grid.column(k).width;
    if (yields(k))
      yielding += grid.column(k).width;
    else
      kept += least(k);
  }
  if (designTotal <= 0)
    return;
  const int available = ReportControl1_->width() - 2 * ReportControl1_->frameWidth() -
                        style()->pixelMetric(QStyle::PM_ScrollBarExtent);
  const auto proportional = [&](int k, int total) {
    return static_cast<int>(std::lround(1.0 * total * grid.column(k).width / designTotal));
  };
  const bool keptFit = std::all_of(shown.begin(), shown.end(), [&](int k) {
    return yields(k) || proportional(k, available) >= least(k);
  });
  if (keptFit || yielding == 0) {
    const int total = std::max(designTotal, available);
    int given = 0;
    for (std::size_t i = 0; i + 1 < shown.size(); ++i) {
      ReportControl1_->setColumnWidth(shown[i], proportional(shown[i], total));
      given += proportional(shown[i], total);
    }
    ReportControl1_->setColumnWidth(shown.back(), total - given);
    return;
  }
  const int shared = std::max(yielding / kShrunkColumnPart, available - kept);
  int given = 0;
  const int lastYielding = *std::find_if(shown.rbegin(), shown.rend(), yields);
  for (int k : shown) {
    if (!yields(k)) {
      ReportControl1_->setColumnWidth(k, least(k));
      continue;
    }
    // The last of them takes what rounding left.
    const int width =
        k == lastYielding
            ? shared - given
            : static_cast<int>(std::lround(1.0 * shared * grid.column(k).width / yielding));
    ReportControl1_->setColumnWidth(k, width);
    given += width;
  }
}

void Form1::closeEvent(QCloseEvent* event) {
  if (core_.busy()) {
    closePending_ = true;
    core_.cancel();
    event->ignore();
    return;
  }
  Form_Unload();
  event->accept();
}

void Form1::dragEnterEvent(QDragEnterEvent* event) {
  if (core_.busy() || droppedFolder(*event->mimeData()).empty()) {
    event->ignore();
    return;
  }
  event->acceptProposedAction();
}

void Form1::dropEvent(QDropEvent* event) {
  event->ignore();
  if (core_.busy())
    return;
  const QMimeData& data = *event->mimeData();
  trapEvent(
      "Form1.Form_OLEDragDrop(Data,Effect,Button,Shift,X,Y)",
      [&] {
        const std::string folder = droppedFolder(data);
        if (folder.empty())
          return;
        setSource(withTrailingSlash(folder));
        event->acceptProposedAction();
      },
      data.data(kUriListType).toStdString(), static_cast<int>(event->dropAction()),
      static_cast<int>(event->buttons()), static_cast<int>(event->modifiers()),
      event->position().x(), event->position().y());
}

void Form1::Form_Unload() {
  if (unloaded_)
    return;
  trapEvent(
      "Form1.Form_Unload(Cancel)",
      [&] {
        settings_.SaveSetting(kAppTitle, "Path", "Path", core_.source());
        settings_.SaveSetting(kAppTitle, "Path", "Subfolders", std::to_string(subfoldersValue()));
        settings_.SaveSetting(kAppTitle, "Settings", "Find duplicates by",
                              std::to_string(comparisonIndex()));
        saveGeometry();
        if (failureWindow_)
          failureWindow_->close();
      },
      0);
  unloaded_ = true;
  markWindowUnloaded(kWindowName);
}

void Form1::resizeEvent(QResizeEvent* event) {
  QMainWindow::resizeEvent(event);
  Form_Resize();
}

void Form1::changeEvent(QEvent* event) {
  QMainWindow::changeEvent(event);
  // Restoring a minimised window need not change its size; lay it out again all the same.
  if (event->type() == QEvent::WindowStateChange)
    Form_Resize();
}

void Form1::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  Form_Resize();
}

void Form1::Form_Resize() {
  if (isMinimized())
    return;
  trapEvent("Form1.Form_Resize", [&] {
    const double dots = dpi();
    const int statusPixels =
        statusBar()->isVisible() ? statusBar()->height() : statusBar()->sizeHint().height();
    desktop::Form_Resize(layout_, pixelsToTwips(width(), dots), pixelsToTwips(height(), dots),
                         pixelsToTwips(statusPixels, dots));
    Frame1_->setGeometry(twipsToPixels(layout_.Frame1, dots));
    ReportControl1_->setGeometry(twipsToPixels(layout_.grid, dots));
    Text1_->setGeometry(twipsToPixels(layout_.Text1, dots));
    Command4_->setGeometry(twipsToPixels(layout_.Command4, dots));
    bnSelect_->setGeometry(twipsToPixels(layout_.bnSelect, dots));
    lblprb1_->setGeometry(twipsToPixels(layout_.lblprb1, dots));
    ProgressBar1_->setGeometry(twipsToPixels(layout_.ProgressBar1, dots));
    lblprb2_->setGeometry(twipsToPixels(layout_.lblprb2, dots));
    ProgressBar2_->setGeometry(twipsToPixels(layout_.ProgressBar2, dots));
    bnAbout_->setGeometry(twipsToPixels(layout_.bnAbout, dots));
    fitColumns();
  });
}

void Form1::Command2_Click() {
  if (core_.busy())
    return;
  trapEvent("Form1.Command2_Click", [&] {
    const std::string remembered = core_.source();
    const std::string chosen = withTrailingSlash(BrowseForDisk());
    setSource(chosen.empty() ? remembered : chosen);
  });
}

std::string Form1::BrowseForDisk() {
  return trapInner("mMain.BrowseForDisk",
                   [&] { return localPath(dialogs.chooseFolder(localPath(core_.source()))); });
}

void Form1::Command3_Click() {
  if (core_.busy())
    return;
  core_.find();
  afterCommand();
}

void Form1::bnCancel_Click() {
  core_.cancel();
}

void Form1::Command4_Click() {
  if (core_.busy())
    return;
  core_.deleteTicked();
  afterCommand();
}

void Form1::reclaimTicked(ReclaimWay way) {
  if (core_.busy())
    return;
  // The bar's label says what the run does, and is the deletion's own again after it.
  lblprb2_->setText(QString::fromUtf8(progressCaption(way)));
  core_.reclaimTicked(way);
  lblprb2_->setText(QString::fromUtf8(progressCaption(ReclaimWay::Delete)));
  afterCommand();
}

void Form1::bnAbout_Click() {
  trapEvent("Form1.bnAbout_Click", [&] { dialogs.about(); });
}

void Form1::chSubfolders_Click() {
  // The greyed state is only ever restored from the settings; a click leaves it for good.
  if (chSubfolders_->checkState() != Qt::PartiallyChecked)
    chSubfolders_->setTristate(false);
}

void Form1::ReportControl1_RowExpanded(const QModelIndex& index) {
  const std::size_t position = model_->rowPosition(index);
  if (position != SIZE_MAX)
    core_.expandRow(position);
}

void Form1::ReportControl1_RowCollapsed(const QModelIndex& index) {
  const std::size_t position = model_->rowPosition(index);
  if (position != SIZE_MAX)
    core_.grid().setRowExpanded(position, false);
}

void Form1::protectedFolders_Click() {
  if (core_.busy())
    return;
  trapEvent("Form1.mnuProtectedFolders_Click", [&] {
    const std::optional<std::vector<std::string>> folders =
        dialogs.protectedFolders(core_.protectedFolders());
    if (!folders)
      return;
    saveProtectedFolders(settings_, *folders);
    core_.setProtectedFolders(*folders);
    model_->protectionChanged();
    // The marks are read as the rows are drawn.
    ReportControl1_->viewport()->update();
  });
}

void Form1::gridRowsReset() {
  applyColumns(false);
  // The last helper's counts were about the rows just replaced.
  statusPanel3_->setText({});
  // Expanding lays out every row; while the grid is hidden behind "Please wait..." a pass may
  // rebuild it several times, so only the last rebuild is expanded, once it shows.
  expandPending_ = true;
  if (ReportControl1_->isVisibleTo(this))
    showGridRows();
}

void Form1::showGridRows() {
  expandPending_ = false;
  // A group row's heading runs across the whole row, over the empty cells of its group. The
  // view keeps one persistent index per spanned row, so a huge list keeps its headings in the
  // first column instead.
  if (model_->grouped() && model_->rowCount() <= kMostSpannedGroups) {
    const int groups = model_->rowCount();
    for (int row = 0; row < groups; ++row)
      ReportControl1_->setFirstColumnSpanned(row, QModelIndex(), true);
  }
  // The tree view lays out every expanded row in one go: a third of a second for a million.
  expandOnSight_ = core_.grid().rowCount() > rowsExpandedAtOnce;
  if (!expandOnSight_) {
    ReportControl1_->expandAll();
    return;
  }
  expandGroupsInView();
}

void Form1::expandGroupsInView() {
  if (!expandOnSight_ || !model_->grouped() || !ReportControl1_->isVisible())
    return;
  const int bottom = ReportControl1_->viewport()->height();
  for (QModelIndex index = ReportControl1_->indexAt(QPoint(0, 0)); index.isValid();
       index = ReportControl1_->indexBelow(index)) {
    if (ReportControl1_->visualRect(index).top() > bottom)
      break;
    if (index.parent().isValid() || ReportControl1_->isExpanded(index))
      continue;
    const std::size_t position = model_->rowPosition(index);
    if (position == SIZE_MAX)
      continue;
    // A group the user closed stays closed.
    const GridRow& row = core_.grid().row(position);
    if (!row.expanded || row.childCount > kMostFilesOpenedOnSight)
      continue;
    ReportControl1_->expand(index);
  }
}

void Form1::scheduleExpandInView() {
  if (!expandOnSight_ || expandInViewScheduled_)
    return;
  expandInViewScheduled_ = true;
  // Not from inside the scroll bar's signal: the view is still moving its rows then.
  QTimer::singleShot(0, this, [this] {
    expandInViewScheduled_ = false;
    expandGroupsInView();
  });
}

void Form1::afterCommand() {
  flushDisplay();
  if (cursorOverridden_) {
    QApplication::restoreOverrideCursor();
    cursorOverridden_ = false;
  }
  if (expandPending_ && ReportControl1_->isVisibleTo(this))
    showGridRows();
  if (closePending_) {
    closePending_ = false;
    close();
  }
}

void Form1::flushDisplay() {
  if (core_.progress().phase != FindProgress::Phase::Idle)
    showFindProgress();
  if (statusDirty_) {
    statusDirty_ = false;
    statusPanel_->setText(QString::fromStdString(core_.statusText()));
  }
  if (status2Dirty_) {
    status2Dirty_ = false;
    statusPanel2_->setText(QString::fromStdString(core_.statusText2()));
  }
  QProgressBar* bars[] = {ProgressBar1_, ProgressBar2_};
  for (int k = 0; k < 2; ++k) {
    if (!progressDirty_[k])
      continue;
    progressDirty_[k] = false;
    const ProgressBarRange range = progressBarRange(core_.progressBar(k + 1));
    bars[k]->setRange(range.minimum, range.maximum);
    bars[k]->setValue(range.value);
  }
}

void Form1::showFindProgress() {
  const QString text = QString::fromStdString(core_.progressText());
  const QFontMetrics metrics = statusPanel3_->fontMetrics();
  const int room = statusPanel3_->contentsRect().width();
  QString shown = text;
  if (metrics.horizontalAdvance(text) > room) {
    // The path, last, gives way first, cut in its middle so that the name stays; when the rest
    // leaves it no room, the whole text is cut so.
    const QString separator = kProgressPartSeparator;
    const qsizetype cut = text.lastIndexOf(separator);
    const qsizetype pathStart = cut < 0 ? 0 : cut + separator.size();
    const QString head = text.left(pathStart);
    const int pathRoom = room - metrics.horizontalAdvance(head);
    shown = cut >= 0 && pathRoom >= kLeastPathShown * metrics.averageCharWidth()
                ? head + metrics.elidedText(text.mid(pathStart), Qt::ElideMiddle, pathRoom)
                : metrics.elidedText(text, Qt::ElideMiddle, room);
  }
  if (shown != statusPanel3_->text())
    statusPanel3_->setText(shown);
  statusPanel3_->setToolTip(shown == text ? QString() : text);
}

QString Form1::statusText() const {
  return statusPanel_->text();
}

QString Form1::statusText2() const {
  return statusPanel2_->text();
}

QString Form1::selectionReport() const {
  return statusPanel3_->text();
}

} // namespace zandrex::desktop
