// The status bar's live tally beside its specified fields: "3 ticked · 1.2 MB to free", and in
// red, when some groups have every file ticked, "· 2 groups with all copies ticked".
#pragma once

#include "select/tick_tally.h"

#include <QWidget>

class QLabel;

namespace zandrex::desktop {

class TickTallyField : public QWidget {
  Q_OBJECT
public:
  explicit TickTallyField(QWidget* parent = nullptr);

  // Shows tally's figures as they stand.
  void showTally(const TickTally& tally);
  QString shownTally() const;
  // "" while no group has every file ticked.
  QString shownWarning() const;

private:
  QLabel* tally_ = nullptr;
  QLabel* warning_ = nullptr;
};

} // namespace zandrex::desktop
