#include "program_error_window.h"

#include "desktop_shell.h"
#include "dialog_geometry.h"
#include "link_label.h"
#include "settings/message_texts.h"
#include "settings/settings_store.h"
#include "shellaid/loaded_windows.h"
#include "shellaid/shell_helpers.h"

#include <QApplication>
#include <QFrame>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QStyle>

namespace zandrex::desktop {

namespace {

constexpr const char* kWindowName = "Form11";
constexpr const char* kMainWindowName = "Form1";
// Labels show this until the window has loaded its texts.
constexpr const char* kPlaceholder = "---";

// Design geometry, in twips.
constexpr int kClientWidth = 7680;
constexpr int kClientHeight = 9810;
constexpr int kIconPixels = 32;

constexpr TwipsRect kExclamation{240, 240, 495, 495};
constexpr TwipsRect kLabel1{1080, 120, 6000, 300};
constexpr TwipsRect kLabel2{1080, 480, 6000, 600};
constexpr TwipsRect kPicture1{1080, 1200, 6375, 2295};
constexpr TwipsRect kLabel7{1080, 3600, 6000, 300};
constexpr TwipsRect kPicture3{1080, 3960, 6375, 2295};
constexpr TwipsRect kLabel11{1080, 6360, 6000, 300};
constexpr TwipsRect kPicture2{1080, 6720, 6375, 2295};
constexpr TwipsRect kButton{6240, 9240, 1215, 375};
// Inside the panels.
constexpr TwipsRect kLabel3{120, 120, 6000, 300};
constexpr TwipsRect kLabel58{360, 480, 5760, 500};
constexpr TwipsRect kLabel4{120, 1080, 6000, 300};
constexpr TwipsRect kLabel5{120, 1440, 6000, 300};
constexpr TwipsRect kLabel6{120, 1800, 6000, 300};
constexpr TwipsRect kLabel8{120, 120, 6000, 300};
constexpr TwipsRect kLabel55{360, 480, 2535, 300};
constexpr TwipsRect kLabel9{120, 840, 6000, 300};
constexpr TwipsRect kLabel56{360, 1200, 5760, 500};
constexpr TwipsRect kLabel10{120, 1800, 6000, 300};
constexpr TwipsRect kLabel12{120, 120, 6000, 300};
constexpr TwipsRect kLabel13{120, 480, 6000, 300};
constexpr TwipsRect kLabel14{120, 840, 6000, 300};
constexpr TwipsRect kLabel57{360, 1200, 5760, 495};
constexpr TwipsRect kLabel15{120, 1800, 6000, 300};

int loadingDepth = 0;

// Design height of a label that holds one line of text.
constexpr int kOneLineHeight = 300;

QLabel* addLabel(QWidget* parent, const char* name, const TwipsRect& at, DesignLayout& layout) {
  auto* label = new QLabel(QString::fromUtf8(kPlaceholder), parent);
  label->setObjectName(name);
  label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  if (at.height > kOneLineHeight) {
    label->setWordWrap(true);
    layout.add(label, at);
  } else {
    layout.addOneLine(label, at);
  }
  return label;
}

LinkLabel* addLink(QWidget* parent, const char* name, const TwipsRect& at, const QString& text,
                   DesignLayout& layout) {
  auto* link = new LinkLabel(text, parent);
  link->setObjectName(name);
  link->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  // A folder path may need two lines; the support address always fits one.
  if (at.height > kOneLineHeight) {
    link->setWordWrap(true);
    layout.add(link, at);
  } else {
    layout.addOneLine(link, at);
  }
  return link;
}

QFrame* addPanel(QWidget* parent, const char* name, const TwipsRect& at, DesignLayout& layout) {
  auto* panel = new QFrame(parent);
  panel->setObjectName(name);
  panel->setFrameShape(QFrame::StyledPanel);
  panel->setAutoFillBackground(true);
  QPalette colours = panel->palette();
  colours.setColor(QPalette::Window, colours.color(QPalette::Base));
  panel->setPalette(colours);
  layout.add(panel, at);
  return panel;
}

void setText(QWidget* window, const char* name, const std::string& text) {
  if (auto* label = window->findChild<QLabel*>(name))
    label->setText(QString::fromStdString(text));
}

QWidget* findMainWindow() {
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    if (widget->objectName() == QLatin1String(kMainWindowName))
      return widget;
  }
  return nullptr;
}

} // namespace

Form11::Form11(QWidget* owner) : QDialog(owner) {
  setObjectName(kWindowName);
  DesignLayout layout;

  auto* icon = new QLabel(this);
  icon->setObjectName("picExclamation");
  icon->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  layout.add(icon, kExclamation);
  addLabel(this, "Label1", kLabel1, layout);
  addLabel(this, "Label2", kLabel2, layout);

  QFrame* first = addPanel(this, "Picture1", kPicture1, layout);
  addLabel(first, "Label3", kLabel3, layout);
  LinkLabel* label58 = addLink(first, "Label58", kLabel58, QString::fromUtf8(kPlaceholder), layout);
  addLabel(first, "Label4", kLabel4, layout);
  addLabel(first, "Label5", kLabel5, layout);
  addLabel(first, "Label6", kLabel6, layout);

  QFont bold = font();
  bold.setBold(true);
  addLabel(this, "Label7", kLabel7, layout)->setFont(bold);

  QFrame* second = addPanel(this, "Picture3", kPicture3, layout);
  addLabel(second, "Label8", kLabel8, layout);
  LinkLabel* label55 =
      addLink(second, "Label55", kLabel55, QString::fromUtf8(kSupportAddress), layout);
  addLabel(second, "Label9", kLabel9, layout);
  LinkLabel* label56 =
      addLink(second, "Label56", kLabel56, QString::fromUtf8(kPlaceholder), layout);
  addLabel(second, "Label10", kLabel10, layout);

  addLabel(this, "Label11", kLabel11, layout)->setFont(bold);

  QFrame* third = addPanel(this, "Picture2", kPicture2, layout);
  addLabel(third, "Label12", kLabel12, layout);
  addLabel(third, "Label13", kLabel13, layout);
  addLabel(third, "Label14", kLabel14, layout);
  LinkLabel* label57 = addLink(third, "Label57", kLabel57, QString::fromUtf8(kPlaceholder), layout);
  addLabel(third, "Label15", kLabel15, layout);

  auto* ok = new QPushButton(this);
  ok->setObjectName("bnOK");
  ok->setDefault(true);
  layout.add(ok, kButton);

  connect(ok, &QPushButton::clicked, this, &Form11::bnOK_Click);
  connect(label55, &LinkLabel::clicked, this, &Form11::Label55_Click);
  connect(label56, &LinkLabel::clicked, this, [this] { openReportFolder("Form11.Label56_Click"); });
  connect(label57, &LinkLabel::clicked, this, [this] { openReportFolder("Form11.Label57_Click"); });
  connect(label58, &LinkLabel::clicked, this, [this] { openReportFolder("Form11.Label58_Click"); });

  markWindowLoaded(kWindowName);
  ++loadingDepth;
  Form_Load();
  --loadingDepth;

  const double widthScale = layout.fitScale();
  layout.apply(widthScale);
  setFixedSize(scaledTwipsRect({0, 0, kClientWidth, kClientHeight}, widthScale).size());
}

Form11::~Form11() {
  markWindowUnloaded(kWindowName);
}

bool Form11::isLoading() {
  return loadingDepth > 0;
}

QString Form11::reportFilePath() {
  const auto& folder = reportEnvironment().reportFolder;
  const QString base = folder ? QString::fromStdString(folder()) : QString();
  return base + QLatin1Char('/') + QLatin1String(kErrorReportFileName);
}

void Form11::Form_Load() {
  trapEvent("Form11.Form_Load", [&] {
    setWindowTitle(QString::fromStdString(msgProgramError));
    if (auto* ok = findChild<QPushButton*>("bnOK"))
      ok->setText(QString::fromStdString(msgOK));
    setText(this, "Label1", msgSorry);
    setText(this, "Label2", msgDirections);
    setText(this, "Label3", msgFolderStep1);
    setText(this, "Label4", msgFolderStep2);
    setText(this, "Label5", msgFolderStep3);
    setText(this, "Label6", msgFolderStep4);
    setText(this, "Label7", msgOr);
    setText(this, "Label8", msgLinkStep1);
    setText(this, "Label9", msgLinkStep2);
    setText(this, "Label10", msgLinkStep3);
    setText(this, "Label11", msgOr);
    setText(this, "Label12", msgClientStep1);
    setText(this, "Label13", msgClientStep2);
    setText(this, "Label14", msgClientStep3);
    setText(this, "Label15", msgClientStep4);
    const auto& folder = reportEnvironment().reportFolder;
    const std::string reportFolder = folder ? folder() : std::string();
    for (const char* link : {"Label58", "Label56", "Label57"})
      setText(this, link, reportFolder);
    if (auto* icon = findChild<QLabel*>("picExclamation"))
      icon->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxWarning).pixmap(kIconPixels));
  });
}

void Form11::openReportFolder(const char* signature) {
  trapEvent(signature, [&] { OpenInExplorerList(this, reportFilePath()); });
}

void Form11::Label55_Click() {
  trapEvent("Form11.Label55_Click", [&] {
    SendMail(this, QString::fromUtf8(kSupportAddress),
             QString::fromStdString(mailSubject(kVersionMajor, kVersionMinor, true)));
  });
}

void Form11::bnOK_Click() {
  trapEvent("Form11.bnOK_Click", [&] { accept(); });
}

void DesktopErrorPresenter::showProgramError(bool modal) {
  if (Form11::isLoading())
    return;
  if (modal) {
    // The owner may go away while the window runs; the guard keeps us from deleting twice.
    QPointer<Form11> window = new Form11(findMainWindow());
    window->exec();
    delete window.data();
    return;
  }
  auto* window = new Form11();
  window->setAttribute(Qt::WA_DeleteOnClose);
  window->show();
}

} // namespace zandrex::desktop
