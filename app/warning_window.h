// "Warning": asks whether to scan a source that is, holds or lies inside a system folder. A new
// window is made for each warning; "Yes" is the only answer that lets the scan go on.
#pragma once

#include "settings/settings_store.h"

#include <QDialog>
#include <string>

class QCheckBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace zandrex::desktop {

class Form4 : public QDialog {
  Q_OBJECT
public:
  // settings must outlive the window; owner is the main window (modal over it, centred on it).
  Form4(SettingsStore& settings, QWidget* owner);

  // The list to show (paths, each but a lone one ending in CR LF); set before the window shows.
  std::string SystemFolderList;
  // True only once the user pressed "Yes".
  bool ContinueAnyway = false;

  QPlainTextEdit* fdSystemFolders() const { return fdSystemFolders_; }
  QCheckBox* chAllowSystemRename() const { return chAllowSystemRename_; }
  QPushButton* bnOK() const { return bnOK_; }
  QPushButton* bnCancel() const { return bnCancel_; }

protected:
  // The load step runs on the first showing, when SystemFolderList has been set.
  void showEvent(QShowEvent* event) override;
  void done(int result) override;

private:
  void Form_Load();
  void bnOK_Click();
  void bnCancel_Click();
  void chAllowSystemRename_Click();

  SettingsStore& settings_;
  bool loaded_ = false;
  QLabel* picExclamation_ = nullptr;
  QPlainTextEdit* fdSystemFolders_ = nullptr;
  QCheckBox* chAllowSystemRename_ = nullptr;
  QPushButton* bnOK_ = nullptr;
  QPushButton* bnCancel_ = nullptr;
};

} // namespace zandrex::desktop
