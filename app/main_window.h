// The main window "Zandrex": source, "Subfolders", comparison mode, "Find" and "Cancel" on top,
// the grouped file list in the middle, "Select" and "Delete selected files", the two progress rows
// and "About" below; the status bar shows the file count, the reclaimable space and what the last
// selection helper or sort did, or what a find is doing. The find and the deletion run are
// DuplicateFinder's; this window is their view. The grid's sorting, helpers, double-click and keys
// are GridActions'.
#pragma once

#include "event_pump.h"
#include "file_grid_model.h"
#include "find/duplicate_finder.h"
#include "grid_actions.h"
#include "main_window_layout.h"

#include <QMainWindow>
#include <QPointer>
#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QCheckBox;
class QMimeData;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QToolButton;
class QTreeView;

namespace zandrex::desktop {

// The "Subfolders" box's values, as the find reads them and the settings store them.
inline constexpr int kSubfoldersUnticked = 0;
inline constexpr int kSubfoldersTicked = 1;
inline constexpr int kSubfoldersGreyed = 2;

class FilterControls;
class Form3;
class Form4;
class ListSaver;
class TickTallyField;

// Up to this many rows a result is laid out whole when it shows (a few tens of milliseconds);
// a bigger one opens its groups as they come into view, so showing it never stalls the window.
inline constexpr std::size_t kRowsExpandedAtOnce = 100'000;

inline constexpr const char* kComparisonItems[] = {
    "Find duplicates by filename",
    "Find duplicates by size",
    "Find duplicates by filename and size",
    "Find duplicates by content (CRC32 checksum, slow)",
};

// A progress bar's single-precision values as a QProgressBar takes them: whole numbers, the
// maximum above the minimum (an empty range would make the bar an endless busy animation), the
// value inside the range, everything scaled down when the maximum exceeds the int range.
struct ProgressBarRange {
  int minimum = 0;
  int maximum = 1;
  int value = 0;
  bool operator==(const ProgressBarRange&) const = default;
};
ProgressBarRange progressBarRange(const ProgressBar& bar);

// The folder a drag from a file manager carries: exactly one URL, a local file URL (no other
// host), naming an existing folder (a link to one counts). Its path is the bytes the URL encodes,
// as the chooser's answers are, without a trailing "/" added; "" when the drag carries anything
// else (a file, a remote or other URL, several items, text).
std::string droppedFolder(const QMimeData& data);

// The dialogs the window opens. Each is a plain function so tests can answer in its place.
struct Form1Dialogs {
  // The folder chooser, opened at the current source; the chosen folder or "" when cancelled.
  std::function<QString(const QString& startPath)> chooseFolder;
  // The "Warning" window over the list; true when the user answered "Yes".
  std::function<bool(const std::string& list)> systemFolderWarning;
  // An exclamation message box titled "Zandrex".
  std::function<void(const QString& text)> exclamation;
  // The About window, modal.
  std::function<void()> about;
  // The deletion-failure window, modal; countLabel is its count line.
  std::function<void(const std::string& countLabel)> failureWindow;
  // "Protected folders...", modal over the list as stored; the new list, or none when cancelled.
  std::function<std::optional<std::vector<std::string>>(const std::vector<std::string>& folders)>
      protectedFolders;
};

class Form1 : public QMainWindow, public FinderView {
  Q_OBJECT
public:
  // settings must outlive the window. The window loads here (Form_Load): its controls, the
  // grid's columns and the stored choices. It opens where it was when last closed, or at its
  // design size centred, and always within the screen's available area.
  explicit Form1(SettingsStore& settings, QWidget* parent = nullptr);
  ~Form1() override;

  DuplicateFinder& core() { return core_; }
  FileGridModel* gridModel() const { return model_; }
  GridActions* gridActions() const { return gridActions_; }
  FilterControls* filterControls() const { return filters_; }
  EventPump& eventPump() { return pump_; }
  // Shows the window in front, un-minimised (keeping it maximised if it was), with the focus; a
  // modal window open over it comes along on top.
  void bringToFront();
  // The window the deletion run shows its failures in (not owned; its owner is this window).
  void setFailureWindow(Form3* window);
  // The texts the status bar shows: the file count, the reclaimable space, and what the last
  // selection helper or group sort did ("" after each find or deletion).
  QString statusText() const;
  QString statusText2() const;
  QString selectionReport() const;
  // "Save list..." of the "Select" button's menu.
  ListSaver* listSaver() const { return listSaver_; }
  // The live tally beside those fields.
  TickTallyField* tallyField() const { return tallyField_; }

  Form1Dialogs dialogs;
  // Results with more rows than this open their groups as they come into view instead of all
  // at once (changed by tests to reach that path with small trees).
  std::size_t rowsExpandedAtOnce = kRowsExpandedAtOnce;
  // Runs on every event pass of a long loop, before the throttled pump (a test's stand-in for
  // the user's clicks).
  std::function<void()> onEventPass;

  // FinderView.
  void doEvents() override;
  void doEventsWhileWaiting() override;
  void setGridVisible(bool visible) override;
  void setPleaseWaitVisible(bool visible) override;
  void setDeleteEnabled(bool enabled) override;
  void setMousePointer(MousePointer pointer) override;
  void statusTextChanged() override;
  void statusText2Changed() override;
  void findNoteChanged() override;
  void progressChanged(int bar) override;
  int subfoldersValue() override;
  int comparisonIndex() override;
  bool showSystemFolderWarning(const std::string& list) override;
  void showExclamation(const std::string& text) override;
  void showFailureWindow(const std::string& countLabel) override;

protected:
  void resizeEvent(QResizeEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void changeEvent(QEvent* event) override;
  // The unload step: saves the three choices and where the window is, and closes the failure
  // window. While a find or a
  // deletion runs, the close waits: the run is cancelled and the window closes when it returns.
  void closeEvent(QCloseEvent* event) override;
  // A folder dropped on the window becomes the source, as "..." would make it; nothing is taken
  // while a find or a deletion runs.
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

private:
  void buildControls();
  void buildSourceAndFind();
  void buildGridArea();
  void buildStatusBar();
  void connectControls();
  void placeFixedControls();
  // Sets the minimum size and opens at the stored place or the design's, fitted to the screen.
  void placeOnScreen();
  // The client rectangle stored at the last close; none when absent or not a valid size.
  std::optional<QRect> storedGeometry();
  void saveGeometry();
  void Form_Load();
  void IniSettings(const std::string& pTemplateName);
  void Form_Unload();
  void Form_Resize();
  void Command2_Click();
  // The folder chooser at the current source; the chosen folder, "" when cancelled.
  std::string BrowseForDisk();
  void Command3_Click();
  void bnCancel_Click();
  void Command4_Click();
  // "Move to Trash" and the link items of the "Select" menu: as Command4_Click, by way.
  void reclaimTicked(ReclaimWay way);
  void bnAbout_Click();
  void chSubfolders_Click();
  void ReportControl1_RowExpanded(const QModelIndex& index);
  void ReportControl1_RowCollapsed(const QModelIndex& index);
  // Asks for the protected folders; a new list is saved, and the rows shown are marked anew.
  void protectedFolders_Click();

  void setSource(const std::string& path);
  // Hides the columns the grid does not show; with widths, also fits their widths.
  void applyColumns(bool widths);
  void fitColumns();
  void gridRowsReset();
  // Spans the group headings and expands every group, or, for a big result, the groups in view.
  void showGridRows();
  // Expands the groups in view the user has not closed, up to a size.
  void expandGroupsInView();
  // Runs expandGroupsInView once the events that moved the view have been handled.
  void scheduleExpandInView();
  // Brings the status text and the progress bars up to date with the core, and during a find
  // the third field with what it is doing.
  void flushDisplay();
  // The find's progress text in the third field, cut to its width; the whole text is then its tip.
  void showFindProgress();
  // After a command of the core: the display, the pointer and a waiting close.
  void afterCommand();
  void setDefaultDialogs();
  // The resolution the twips are drawn at: the screen's, grown by fitScale for the font.
  double dpi() const;
  double fittedDpi() const;

  SettingsStore& settings_;
  DuplicateFinder core_;
  EventPump pump_;
  FileGridModel* model_ = nullptr;
  GridActions* gridActions_ = nullptr;
  FilterControls* filters_ = nullptr;
  QPointer<Form3> failureWindow_;
  // The last warning shown; replaced by the next one.
  std::unique_ptr<Form4> warningWindow_;
  ResizableLayout layout_;
  double effectiveDpi_ = 96.0;

  QWidget* client_ = nullptr;
  QGroupBox* Frame6_ = nullptr;
  QLineEdit* fdFromForRename_ = nullptr;
  QPushButton* Command2_ = nullptr;
  QCheckBox* chSubfolders_ = nullptr;
  QGroupBox* Frame1_ = nullptr;
  QComboBox* cmbBy_ = nullptr;
  QPushButton* Command3_ = nullptr;
  QPushButton* bnCancel_ = nullptr;
  QTreeView* ReportControl1_ = nullptr;
  QPlainTextEdit* Text1_ = nullptr;
  QPushButton* Command4_ = nullptr;
  QToolButton* bnSelect_ = nullptr;
  QLabel* lblprb1_ = nullptr;
  QProgressBar* ProgressBar1_ = nullptr;
  QLabel* lblprb2_ = nullptr;
  QProgressBar* ProgressBar2_ = nullptr;
  QPushButton* bnAbout_ = nullptr;
  QLabel* statusPanel_ = nullptr;
  QLabel* statusPanel2_ = nullptr;
  QLabel* statusPanel3_ = nullptr;
  TickTallyField* tallyField_ = nullptr;
  ListSaver* listSaver_ = nullptr;

  bool loaded_ = false;
  bool unloaded_ = false;
  bool closePending_ = false;
  bool cursorOverridden_ = false;
  bool expandPending_ = false;
  // Groups of the rows shown are expanded as they come into view.
  bool expandOnSight_ = false;
  bool expandInViewScheduled_ = false;
  bool statusDirty_ = false;
  bool status2Dirty_ = false;
  std::array<bool, 2> progressDirty_{};
};

} // namespace zandrex::desktop
