#include "filter_controls.h"

#include "errors/err_trap.h"
#include "filter_dialog.h"
#include "settings/filter_settings.h"

#include <QLabel>
#include <QPushButton>
#include <algorithm>

namespace zandrex::desktop {

namespace {
constexpr const char* kButtonCaption = "Filters...";
// Room a button needs besides its caption (its bevel).
constexpr int kButtonPadding = 12;
} // namespace

FilterControls::FilterControls(DuplicateFinder& core, SettingsStore& settings, QWidget* parent)
    : QObject(parent), core_(core), settings_(settings) {
  button_ = new QPushButton(kButtonCaption, parent);
  button_->setObjectName("bnFilters");
  button_->setAutoDefault(false);
  summary_ = new QLabel(parent);
  summary_->setObjectName("lblFilters");
  // A long summary is cut to its place; the tip holds all of it.
  summary_->setSizePolicy(QSizePolicy::Ignored, summary_->sizePolicy().verticalPolicy());
  runDialog = [](FilterDialog& dialog) { return dialog.exec() == QDialog::Accepted; };
  connect(button_, &QPushButton::clicked, this, [this] { chooseFilters(); });
}

void FilterControls::load() {
  trapInner("Form1.LoadFilters", [&] { core_.setFilter(loadFilter(settings_)); });
  showFilter();
}

void FilterControls::place(double dpi) {
  QRect at = twipsToPixels(kFiltersButtonRect, dpi);
  const int captionWidth = button_->fontMetrics().horizontalAdvance(kButtonCaption);
  at.setWidth(std::max(at.width(), captionWidth + kButtonPadding));
  button_->setGeometry(at);
  QRect summary = twipsToPixels(kFiltersSummaryRect, dpi);
  summary.setLeft(std::max(summary.left(), at.right() + 1 + at.height() / 3));
  summary_->setGeometry(summary);
  // They lie over the source frame's lower part, as the "Subfolders" box does.
  button_->raise();
  summary_->raise();
}

void FilterControls::chooseFilters() {
  if (core_.busy())
    return;
  trapEvent("Form1.bnFilters_Click", [&] {
    FilterDialog dialog(core_.filter(), button_->window());
    if (!runDialog(dialog))
      return;
    saveFilter(settings_, dialog.filter());
    core_.setFilter(dialog.filter());
    showFilter();
  });
}

void FilterControls::showFilter() {
  const ScanFilter& filter = core_.filter();
  summary_->setText(QString::fromStdString(filterSummary(filter)));
  QString tip = summary_->text();
  for (const std::string& pattern : filter.excludedNames)
    tip += "\n" + QString::fromStdString(pattern);
  summary_->setToolTip(tip);
}

} // namespace zandrex::desktop
