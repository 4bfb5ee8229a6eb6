// "Filters": what a find leaves out, edited as a minimum size and a list of name patterns. "OK"
// checks both and, while one cannot be used, keeps the window open and says why.
#pragma once

#include "walk/scan_filter.h"

#include <QDialog>

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace zandrex::desktop {

class FilterDialog : public QDialog {
  Q_OBJECT
public:
  // Shows filter; owner is the main window (modal over it).
  FilterDialog(const ScanFilter& filter, QWidget* owner);

  // The filter as edited; the one given until the window was accepted.
  const ScanFilter& filter() const { return filter_; }

  QLineEdit* minimumSize() const { return minimumSize_; }
  QPlainTextEdit* patterns() const { return patterns_; }
  QLabel* problem() const { return problem_; }
  QPushButton* okButton() const { return okButton_; }

  void accept() override;

private:
  ScanFilter filter_;
  QLineEdit* minimumSize_ = nullptr;
  QPlainTextEdit* patterns_ = nullptr;
  QLabel* problem_ = nullptr;
  QPushButton* okButton_ = nullptr;
};

} // namespace zandrex::desktop
