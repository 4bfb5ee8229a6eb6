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
  Form3(Form3Core& core, QWidget* owner);
  // Refreshes the list and the count line from the core and shows the window modally; returns
  // when the user dismissed it.
  void showModalOverOwner();

  QTreeView* ReportControl1() const;
  QLabel* lbFilesCount() const;
  QPushButton* bnOK() const;

protected:
  void resizeEvent(QResizeEvent* event) override;

private:
  void bnOK_Click();
  void Form_Resize();

  struct Widgets;
  Form3Core& core_;
  Widgets* w_;
};

} // namespace zandrex::desktop
