#include "warning_window.h"

#include "errors/err_trap.h"
#include "main_window_layout.h"
#include "source/system_folder_guard.h"

#include <QCheckBox>
#include <QFontMetrics>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStyle>

namespace zandrex::desktop {

namespace {

constexpr int kClientWidth = 6105;
constexpr int kClientHeight = 4005;
constexpr TwipsRect kPicture1{0, 0, 6135, 855};
constexpr TwipsRect kPicExclamation{120, 120, 495, 495};
constexpr TwipsRect kLabel1{720, 240, 5175, 375};
constexpr TwipsRect kFdSystemFolders{240, 960, 5655, 975};
constexpr TwipsRect kLabel2{240, 2040, 5655, 735};
constexpr TwipsRect kLabel3{240, 2880, 4695, 375};
constexpr TwipsRect kChAllowSystemRename{240, 3480, 2295, 255};
constexpr TwipsRect kBnOK{3360, 3480, 1215, 375};
constexpr TwipsRect kBnCancel{4680, 3480, 1215, 375};

constexpr int kWarningOn = 1;
// Room besides the text: a check box's indicator, a label's margin.
constexpr int kIndicatorRoom = 24;
constexpr int kLabelPadding = 4;
// Word wrapping rarely fills a line; a wrapped text is given this much more than its share.
constexpr double kWrapSlack = 1.2;
constexpr int kLabel1Lines = 2;
constexpr int kLabel2Lines = 3;

// The resolution the design is drawn at for the dialog's font (see fitScale).
double fittedDpi(const QWidget& dialog) {
  const QFontMetrics metrics(dialog.font());
  QFont bold = dialog.font();
  bold.setBold(true);
  const QFontMetrics boldMetrics(bold);
  auto wrappedWidth = [](const QFontMetrics& m, const char* text, int lines) {
    return static_cast<int>(m.horizontalAdvance(text) * kWrapSlack / lines) + kLabelPadding;
  };
  const double dots = dialog.logicalDpiX();
  return dots *
         fitScale({{wrappedWidth(boldMetrics, kWarningBand, kLabel1Lines), kLabel1.width},
                   {boldMetrics.lineSpacing() * kLabel1Lines, kLabel1.height},
                   {wrappedWidth(metrics, kWarningDamage, kLabel2Lines), kLabel2.width},
                   {metrics.lineSpacing() * kLabel2Lines, kLabel2.height},
                   {metrics.horizontalAdvance(kWarningQuestion) + kLabelPadding, kLabel3.width},
                   {metrics.horizontalAdvance(kWarningAlwaysShow) + kIndicatorRoom,
                    kChAllowSystemRename.width}},
                  dots);
}

QLabel* wrappedLabel(const char* text, QWidget* parent, const TwipsRect& rect, double dpi) {
  auto* label = new QLabel(text, parent);
  label->setWordWrap(true);
  label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  label->setGeometry(twipsToPixels(rect, dpi));
  return label;
}

// The list as the shell gives it ends its lines in CR LF; the text box wants LF alone.
QString displayedList(const std::string& list) {
  return QString::fromStdString(list).replace("\r\n", "\n");
}

} // namespace

Form4::Form4(SettingsStore& settings, QWidget* owner) : QDialog(owner), settings_(settings) {
  const double dpi = fittedDpi(*this);
  setObjectName("Form4");
  setWindowTitle(kWarningCaption);
  setModal(true);
  setFixedSize(twipsToPixels(kClientWidth, dpi), twipsToPixels(kClientHeight, dpi));

  auto* band = new QWidget(this);
  band->setObjectName("Picture1");
  band->setGeometry(twipsToPixels(kPicture1, dpi));
  band->setAutoFillBackground(true);
  QPalette white = band->palette();
  white.setColor(QPalette::Window, Qt::white);
  white.setColor(QPalette::WindowText, Qt::black);
  band->setPalette(white);

  picExclamation_ = new QLabel(band);
  picExclamation_->setObjectName("picExclamation");
  picExclamation_->setGeometry(twipsToPixels(kPicExclamation, dpi));
  picExclamation_->setAlignment(Qt::AlignLeft | Qt::AlignTop);

  QLabel* label1 = wrappedLabel(kWarningBand, band, kLabel1, dpi);
  label1->setObjectName("Label1");
  QFont bold = label1->font();
  bold.setBold(true);
  label1->setFont(bold);

  fdSystemFolders_ = new QPlainTextEdit(this);
  fdSystemFolders_->setObjectName("fdSystemFolders");
  fdSystemFolders_->setReadOnly(true);
  fdSystemFolders_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  fdSystemFolders_->setLineWrapMode(QPlainTextEdit::NoWrap);
  fdSystemFolders_->setGeometry(twipsToPixels(kFdSystemFolders, dpi));

  wrappedLabel(kWarningDamage, this, kLabel2, dpi)->setObjectName("Label2");
  wrappedLabel(kWarningQuestion, this, kLabel3, dpi)->setObjectName("Label3");

  chAllowSystemRename_ = new QCheckBox(kWarningAlwaysShow, this);
  chAllowSystemRename_->setObjectName("chAllowSystemRename");
  chAllowSystemRename_->setGeometry(twipsToPixels(kChAllowSystemRename, dpi));

  bnOK_ = new QPushButton(kWarningYes, this);
  bnOK_->setObjectName("bnOK");
  bnOK_->setGeometry(twipsToPixels(kBnOK, dpi));
  // Enter must not carry the user into a system folder: the safe answer is the default.
  bnOK_->setAutoDefault(false);

  bnCancel_ = new QPushButton(kWarningNo, this);
  bnCancel_->setObjectName("bnCancel");
  bnCancel_->setGeometry(twipsToPixels(kBnCancel, dpi));
  bnCancel_->setDefault(true);

  setTabOrder(fdSystemFolders_, chAllowSystemRename_);
  setTabOrder(chAllowSystemRename_, bnCancel_);
  setTabOrder(bnCancel_, bnOK_);

  connect(bnOK_, &QPushButton::clicked, this, [this] { bnOK_Click(); });
  connect(bnCancel_, &QPushButton::clicked, this, [this] { bnCancel_Click(); });
  connect(chAllowSystemRename_, &QCheckBox::clicked, this, [this] { chAllowSystemRename_Click(); });
}

void Form4::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (loaded_)
    return;
  loaded_ = true;
  Form_Load();
  fdSystemFolders_->setFocus();
}

void Form4::Form_Load() {
  trapEvent("Form4.Form_Load", [&] {
    // A stored switch that is not a number counts as on: the warning errs on the safe side.
    auto stored = toInteger16(settings_.GetSetting(kAppTitle, "Settings", "CheckForSystemFolders",
                                                   std::to_string(kWarningOn)));
    chAllowSystemRename_->setChecked(stored.value_or(kWarningOn) != 0);
    chAllowSystemRename_Click();
    fdSystemFolders_->setPlainText(displayedList(SystemFolderList));
    const int iconSize = picExclamation_->width();
    picExclamation_->setPixmap(
        style()->standardIcon(QStyle::SP_MessageBoxWarning, nullptr, this).pixmap(iconSize));
  });
}

void Form4::bnOK_Click() {
  trapEvent("Form4.bnOK_Click", [&] {
    ContinueAnyway = true;
    accept();
  });
}

void Form4::bnCancel_Click() {
  trapEvent("Form4.bnCancel_Click", [&] { reject(); });
}

void Form4::chAllowSystemRename_Click() {
  trapEvent("Form4.chAllowSystemRename_Click", [&] {
    settings_.SaveSetting(kAppTitle, "Settings", "CheckForSystemFolders",
                          chAllowSystemRename_->isChecked() ? "1" : "0");
  });
}

void Form4::done(int result) {
  trapEvent(
      "Form4.Form_Unload(Cancel)", [&] { QDialog::done(result); }, 0);
}

} // namespace zandrex::desktop
