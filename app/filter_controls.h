// The "Filters..." button below the source box and, beside it, what the find leaves out in a few
// words. The filter lives in the settings (read at load, written when the dialog is accepted)
// and is handed to the finder, whose next find uses it. The specified controls around it are
// not touched.
#pragma once

#include "find/duplicate_finder.h"
#include "settings/settings_store.h"
#include "twips.h"

#include <QObject>
#include <functional>

class QLabel;
class QPushButton;
class QWidget;

namespace zandrex::desktop {

class FilterDialog;

// Beside the "Subfolders" box, in the client area's twips; the summary takes the rest of the
// source frame's width.
inline constexpr TwipsRect kFiltersButtonRect{1500, 705, 975, 285};
inline constexpr TwipsRect kFiltersSummaryRect{2565, 720, 2490, 255};

class FilterControls : public QObject {
  Q_OBJECT
public:
  // core and settings must outlive the controls; parent is the main window's client area.
  FilterControls(DuplicateFinder& core, SettingsStore& settings, QWidget* parent);

  // Reads the stored filter into the finder and the summary.
  void load();
  // Places the button and the summary at dpi; the button is never narrower than its caption.
  void place(double dpi);
  // "Filters...": the dialog over the main window; accepted, the filter is stored and used from
  // the next find on. Ignored while a find or a deletion runs.
  void chooseFilters();

  QPushButton* button() const { return button_; }
  QLabel* summary() const { return summary_; }
  // Shows the dialog modally; true when accepted. Tests answer in its place.
  std::function<bool(FilterDialog&)> runDialog;

private:
  void showFilter();

  DuplicateFinder& core_;
  SettingsStore& settings_;
  QPushButton* button_ = nullptr;
  QLabel* summary_ = nullptr;
};

} // namespace zandrex::desktop
