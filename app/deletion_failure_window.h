// "Deletion failure": the files the last deletion run could not delete. One instance lives for
// the program's whole life, loaded hidden at start-up.
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
  // Refreshes the list and the count line from the core, centres the window over its owner and
  // shows it modally; returns when the user dismissed it. The list shows the core grid's rows
  // (rebuilt by the caller), one per failure, in the order they were added.
  void showModalOverOwner();
  // Takes the list and the count line from the core again, without showing anything.
  void refreshFromCore();
  // Centres the window over its owner (nothing happens without one).
  void centreOverOwner();
  FailureList& core() const { return core_; }

  QTreeView* ReportControl1() const;
  QLabel* lbFilesCount() const;
  QPushButton* bnOK() const;

protected:
  void resizeEvent(QResizeEvent* event) override;
  // The close box: the window is hidden like with OK and keeps its rows.
  void closeEvent(QCloseEvent* event) override;

private:
  void bnOK_Click();
  void Form_Resize();
  void Form_Load();

  struct Widgets;
  FailureList& core_;
  Widgets* w_;
};

} // namespace zandrex::desktop
