// "Deletion failure": the files the last deletion run could not delete. One instance lives for
// the program's whole life, loaded hidden at start-up. Its close box unloads it (its list and its
// registration as a loaded window go); the next run that shows it loads it again, at its design
// size, which runs its set-up again.
#pragma once

#include "delete/failure_list.h"

#include <QDialog>

class QLabel;
class QPushButton;
class QTreeView;

namespace zandrex::desktop {

class Form3 : public QDialog {
  Q_OBJECT
public:
  // Shows core's list; owner is the main window (the window is modal over it).
  Form3(FailureList& core, QWidget* owner);
  ~Form3() override;
  // Loads the window again when it was unloaded, refreshes the list and the count line from the
  // core, centres the window over its owner and shows it modally; returns when the user
  // dismissed it. The list shows the core grid's rows
  // (rebuilt by the caller), one per failure, in the order they were added.
  void showModalOverOwner();
  // Loads the window again when it was unloaded and takes the list and the count line from the
  // core again, without showing anything.
  void refreshFromCore();
  // False once the close box unloaded the window, until the next showing loads it again.
  bool loaded() const { return loaded_; }
  // Centres the window over its owner (nothing happens without one).
  void centreOverOwner();
  FailureList& core() const { return core_; }

  QTreeView* ReportControl1() const;
  QLabel* lbFilesCount() const;
  QPushButton* bnOK() const;

protected:
  void resizeEvent(QResizeEvent* event) override;
  // The close box: the window closes and unloads; its list shows nothing until it loads again.
  void closeEvent(QCloseEvent* event) override;

private:
  void bnOK_Click();
  void Form_Resize();
  void Form_Load();
  // Set-up at the design size, then registered as loaded; nothing when loaded already.
  void load();
  void unload();
  // Column widths that show every column in the grid's width at the design size: the path and
  // the name share what the size, the date and a part for the reason leave.
  void fitColumns();

  struct Widgets;
  FailureList& core_;
  Widgets* w_;
  bool loaded_ = false;
};

} // namespace zandrex::desktop
