#include "tick_tally_field.h"

#include "file_grid_model.h"

#include <QColor>
#include <QHBoxLayout>
#include <QLabel>

namespace zandrex::desktop {

TickTallyField::TickTallyField(QWidget* parent) : QWidget(parent) {
  setObjectName("StatusBarTally");
  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  tally_ = new QLabel(this);
  tally_->setObjectName("lblTally");
  warning_ = new QLabel(this);
  warning_->setObjectName("lblAllCopiesTicked");
  warning_->setStyleSheet(
      QStringLiteral("color: %1; font-weight: bold;").arg(QColor(kAllCopiesTickedColor).name()));
  warning_->setVisible(false);
  layout->addWidget(tally_);
  layout->addWidget(warning_);
}

void TickTallyField::showTally(const TickTally& tally) {
  tally_->setText(QString::fromStdString(zandrex::tallyText(tally)));
  const std::string warning = allTickedText(tally.groupsAllTicked());
  warning_->setText(QString::fromStdString(warning));
  warning_->setVisible(!warning.empty());
}

QString TickTallyField::shownTally() const {
  return tally_->text();
}

QString TickTallyField::shownWarning() const {
  return warning_->text();
}

} // namespace zandrex::desktop
