// "Save list...": the list as it stands written to a file the user chooses, as CSV or as the
// command line's JSON document (the engine's writers: the same bytes zandrex-cli --csv or --json
// prints for the same list). The file is written whole or not at all; a failure is shown with its
// reason and leaves any file already there as it was.
#pragma once

#include "find/duplicate_finder.h"

#include <QObject>
#include <QString>
#include <functional>

class QAction;
class QWidget;

namespace zandrex::desktop {

inline constexpr const char* kSaveListCaption = "Save list...";
inline constexpr const char* kCsvFilter = "CSV (*.csv)";
inline constexpr const char* kJsonFilter = "JSON (*.json)";

// The file chosen in the save dialog and the filter it was chosen under.
struct ChosenFile {
  QString path; // "" when cancelled
  QString filter;
};

class ListSaver : public QObject {
  Q_OBJECT
public:
  // core must outlive this object; owner parents the action and the dialog.
  ListSaver(DuplicateFinder& core, QWidget* owner);

  // The save dialog, opened in start with the two filters; the default shows the platform's.
  std::function<ChosenFile(const QString& start)> chooseFile;
  // Shows why the list could not be saved.
  std::function<void(const QString& text)> showError;
  // Says what was saved ("Saved 5 files to /home/me/list.csv").
  std::function<void(const QString& text)> report;

  // The shared "Save list..." action (owned by this object).
  QAction* action() const { return action_; }

  // Asks for a file and saves there; ignored while a find or a deletion runs.
  void chooseAndSave();
  // Writes the list to path: JSON under kJsonFilter, otherwise CSV. A path without the filter's
  // extension gains it. True when the file holds the list.
  bool saveTo(QString path, const QString& filter);

private:
  DuplicateFinder& core_;
  QWidget* owner_;
  QAction* action_ = nullptr;
  // Where the last save went: the next dialog opens there.
  QString lastFolder_;
};

} // namespace zandrex::desktop
