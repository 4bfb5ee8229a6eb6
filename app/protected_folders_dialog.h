// "Protected folders": the list of folders whose files the helpers never tick and the deletion
// never removes, with "Add..." (the folder chooser) and "Remove". The list is the caller's to
// save and apply once the user presses OK.
#pragma once

#include <QDialog>
#include <QString>
#include <functional>
#include <string>
#include <vector>

class QListWidget;
class QPushButton;

namespace zandrex::desktop {

inline constexpr const char* kProtectedFoldersCaption = "Protected folders...";
inline constexpr const char* kProtectedFoldersTitle = "Protected folders";

class ProtectedFoldersDialog : public QDialog {
  Q_OBJECT
public:
  // folders: the list as stored (paths as the file system's bytes). chooseFolder is asked by
  // "Add..." for a folder, opened at the given start; "" is a cancel. owner parents the dialog.
  ProtectedFoldersDialog(const std::vector<std::string>& folders,
                         std::function<QString(const QString& start)> chooseFolder, QWidget* owner);

  // The list as it stands now, in its order.
  std::vector<std::string> folders() const;
  // "Add...": asks for a folder and appends it unless it is listed already (then it is selected).
  void addFolder();
  // "Remove": takes the selected folders out of the list.
  void removeSelected();

  QListWidget* list() const { return list_; }
  QPushButton* bnAdd() const { return bnAdd_; }
  QPushButton* bnRemove() const { return bnRemove_; }

private:
  std::function<QString(const QString&)> chooseFolder_;
  QListWidget* list_ = nullptr;
  QPushButton* bnAdd_ = nullptr;
  QPushButton* bnRemove_ = nullptr;
};

} // namespace zandrex::desktop
