// What the find and the deletion run ask of the main window: events, the busy state's controls,
// the status bar and progress bars, the live "Subfolders" box and mode list, and the windows they
// open.
#include "main_window.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QToolButton>
#include <QTreeView>

namespace zandrex::desktop {

void Form1::doEvents() {
  if (onEventPass)
    onEventPass();
  pump_.pump();
}

void Form1::doEventsWhileWaiting() {
  if (onEventPass)
    onEventPass();
  pump_.pumpIfDue();
}

void Form1::setGridVisible(bool visible) {
  ReportControl1_->setVisible(visible);
  if (visible && expandPending_)
    showGridRows();
}

void Form1::setPleaseWaitVisible(bool visible) {
  Text1_->setVisible(visible);
  if (visible)
    Text1_->raise();
}

void Form1::setDeleteEnabled(bool enabled) {
  Command4_->setEnabled(enabled);
  bnSelect_->setEnabled(enabled);
}

void Form1::setMousePointer(MousePointer pointer) {
  const bool hourglass = pointer == MousePointer::Hourglass;
  if (hourglass == cursorOverridden_)
    return;
  cursorOverridden_ = hourglass;
  if (hourglass)
    QApplication::setOverrideCursor(Qt::WaitCursor);
  else
    QApplication::restoreOverrideCursor();
}

void Form1::statusTextChanged() {
  // The walk reports every file; during a run the text (and the find's progress in the third
  // field) is shown at the next event pass, a few times a second.
  statusDirty_ = true;
  if (!core_.busy())
    flushDisplay();
}

void Form1::statusText2Changed() {
  status2Dirty_ = true;
  if (!core_.busy())
    flushDisplay();
}

// Said where the helpers report, in place of the find's progress: files left out because they
// changed while the find ran, or that it was cancelled; "" as a find starts and after one that
// has nothing to say.
void Form1::findNoteChanged() {
  statusPanel3_->setText(QString::fromStdString(core_.findNote()));
  statusPanel3_->setToolTip({});
}

void Form1::progressChanged(int bar) {
  if (bar < 1 || bar > 2)
    return;
  progressDirty_[bar - 1] = true;
  if (!core_.busy())
    flushDisplay();
}

int Form1::subfoldersValue() {
  switch (chSubfolders_->checkState()) {
  case Qt::Checked:
    return kSubfoldersTicked;
  case Qt::PartiallyChecked:
    return kSubfoldersGreyed;
  default:
    return kSubfoldersUnticked;
  }
}

int Form1::comparisonIndex() {
  return cmbBy_->currentIndex();
}

bool Form1::showSystemFolderWarning(const std::string& list) {
  flushDisplay();
  return dialogs.systemFolderWarning(list);
}

void Form1::showExclamation(const std::string& text) {
  flushDisplay();
  dialogs.exclamation(QString::fromStdString(text));
}

void Form1::showFailureWindow(const std::string& countLabel) {
  flushDisplay();
  dialogs.failureWindow(countLabel);
}

} // namespace zandrex::desktop
