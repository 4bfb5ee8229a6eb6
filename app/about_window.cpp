#include "about_window.h"

#include "desktop_shell.h"
#include "dialog_geometry.h"
#include "errors/err_trap.h"
#include "link_label.h"
#include "program_icon.h"
#include "settings/message_texts.h"
#include "settings/settings_store.h"
#include "shellaid/loaded_windows.h"
#include "shellaid/shell_helpers.h"

#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <cstdint>

namespace zandrex::desktop {

namespace {

constexpr const char* kWindowName = "Form10";

// Design geometry, in twips.
constexpr int kClientWidth = 4800;
constexpr int kClientHeight = 3840;
constexpr int kIconPixels = 32;
constexpr double kProductNamePoints = 9.75;
// The separators run wider than the window and are cut at its right edge.
constexpr int kLineWidth = 9120;
constexpr int kLineThickness = 30;
constexpr int kLine1Top = 2040;
constexpr int kLine2Top = 3120;

constexpr TwipsRect kImage1{240, 120, 480, 480};
constexpr TwipsRect kLabel6{960, 240, 3735, 255};
constexpr TwipsRect kLabel2{240, 840, 1095, 255};
constexpr TwipsRect kLabel3{240, 1200, 3015, 255};
constexpr TwipsRect kLabel7{240, 1560, 1335, 255};
constexpr TwipsRect kLabel8{240, 2280, 1215, 255};
constexpr TwipsRect kLabel4{1680, 2280, 2415, 255};
constexpr TwipsRect kLabel9{240, 2640, 1455, 255};
constexpr TwipsRect kLabel5{1680, 2640, 2295, 255};
constexpr TwipsRect kButton{3480, 3360, 1215, 375};

template <typename Widget> Widget* named(Widget* widget, const char* name) {
  widget->setObjectName(name);
  return widget;
}

QLabel* addLabel(QWidget* parent, const char* name, const TwipsRect& at, DesignLayout& layout) {
  auto* label = named(new QLabel(parent), name);
  layout.addOneLine(label, at);
  return label;
}

LinkLabel* addLink(QWidget* parent, const char* name, const TwipsRect& at, DesignLayout& layout) {
  auto* link = named(new LinkLabel({}, parent), name);
  layout.addOneLine(link, at);
  return link;
}

void addSeparator(QWidget* parent, const char* name, int top, DesignLayout& layout) {
  auto* line = named(new QFrame(parent), name);
  line->setFrameShape(QFrame::HLine);
  line->setFrameShadow(QFrame::Sunken);
  layout.add(line, {0, top, kLineWidth, kLineThickness});
}

void setText(QWidget* window, const char* name, const std::string& text) {
  if (auto* label = window->findChild<QLabel*>(name))
    label->setText(QString::fromStdString(text));
}

} // namespace

Form10::Form10(QWidget* owner) : QDialog(owner) {
  setObjectName(kWindowName);
  DesignLayout layout;

  auto* image = named(new QLabel(this), "Image1");
  image->setAlignment(Qt::AlignCenter);
  layout.add(image, kImage1);
  QLabel* product = addLabel(this, "Label6", kLabel6, layout);
  QFont productFont = product->font();
  productFont.setPointSizeF(kProductNamePoints);
  productFont.setBold(true);
  product->setFont(productFont);
  addLabel(this, "Label2", kLabel2, layout);
  addLabel(this, "Label3", kLabel3, layout);
  addLabel(this, "Label7", kLabel7, layout);
  addSeparator(this, "Line1", kLine1Top, layout);
  addLabel(this, "Label8", kLabel8, layout);
  LinkLabel* website = addLink(this, "Label4", kLabel4, layout);
  addLabel(this, "Label9", kLabel9, layout);
  LinkLabel* support = addLink(this, "Label5", kLabel5, layout);
  addSeparator(this, "Line2", kLine2Top, layout);
  auto* ok = named(new QPushButton(this), "bnOK");
  ok->setDefault(true);
  layout.add(ok, kButton);

  connect(website, &LinkLabel::clicked, this, &Form10::Label4_Click);
  connect(support, &LinkLabel::clicked, this, &Form10::Label5_Click);
  connect(ok, &QPushButton::clicked, this, &Form10::bnOK_Click);

  markWindowLoaded(kWindowName);
  Form_Load();

  const double widthScale = layout.fitScale();
  layout.apply(widthScale);
  setFixedSize(scaledTwipsRect({0, 0, kClientWidth, kClientHeight}, widthScale).size());
}

Form10::~Form10() {
  markWindowUnloaded(kWindowName);
}

void Form10::Form_Load() {
  trapEvent("Form10.Form_Load", [&] {
    setWindowTitle(QString::fromStdString(msgAboutCaption));
    if (auto* image = findChild<QLabel*>("Image1"))
      image->setPixmap(programIcon().pixmap(kIconPixels));
    setText(this, "Label6", msgProductName);
    setText(this, "Label2", aboutVersionText(kVersionMajor, kVersionMinor));
    setText(this, "Label3", msgLegalNotice1);
    setText(this, "Label7", msgLegalNotice2);
    setText(this, "Label8", msgWebsite);
    setText(this, "Label4", kWebsiteAddress);
    setText(this, "Label9", msgTechSupport);
    setText(this, "Label5", kSupportAddress);
    if (auto* ok = findChild<QPushButton*>("bnOK"))
      ok->setText(QString::fromStdString(msgOK));
  });
}

void Form10::Label4_Click() {
  trapEvent("Form10.Label4_Click", [] { openWebsite(QString::fromUtf8(kWebsiteAddress)); });
}

void Form10::Label5_Click() {
  trapEvent("Form10.Label5_Click", [&] {
    SendMail(this, QString::fromUtf8(kSupportAddress),
             QString::fromStdString(mailSubject(kVersionMajor, kVersionMinor, false)));
  });
}

void Form10::bnOK_Click() {
  trapEvent("Form10.bnOK_Click", [&] { accept(); });
}

void Form10::done(int result) {
  const std::int16_t cancel = 0;
  trapEvent(
      "Form10.Form_Unload(Cancel)", [] {}, cancel);
  QDialog::done(result);
}

} // namespace zandrex::desktop
