// The command line's stand-in for the main window: no windows, Ctrl-C as "Cancel", a live
// progress line on a terminal.
#pragma once

#include "errors/err_trap.h"
#include "find/duplicate_finder.h"

#include <chrono>
#include <csignal>
#include <cstdio>

namespace zandrex::cli {

// Set by the SIGINT and SIGTERM handlers: the find or the deletion stops at its next step.
extern volatile std::sig_atomic_t interruptRequested;

class CliView : public FinderView {
public:
  CliView(int comparisonIndex, bool subfolders, bool showProgress)
      : comparisonIndex_(comparisonIndex), subfolders_(subfolders), showProgress_(showProgress) {}
  void attach(DuplicateFinder& core) { core_ = &core; }
  // Clears the progress line, if one is shown.
  void endProgress();

  void doEvents() override;
  void doEventsWhileWaiting() override;
  void setGridVisible(bool) override {}
  void setPleaseWaitVisible(bool) override {}
  void setDeleteEnabled(bool) override {}
  void setMousePointer(MousePointer) override {}
  void statusTextChanged() override {}
  void progressChanged(int) override {}
  int subfoldersValue() override { return subfolders_ ? 1 : 0; }
  int comparisonIndex() override { return comparisonIndex_; }
  bool showSystemFolderWarning(const std::string& list) override;
  void showExclamation(const std::string& text) override;
  void showFailureWindow(const std::string&) override {}

private:
  void stopOnSignal();
  // Redraws the progress line with what the find is doing, when the interval has passed.
  void showProgressIfDue();

  int comparisonIndex_;
  bool subfolders_;
  bool showProgress_;
  bool progressShown_ = false;
  unsigned calls_ = 0;
  std::chrono::steady_clock::time_point lastProgress_{};
  DuplicateFinder* core_ = nullptr;
};

// Prints where the error report was written and its first lines; when it could not be written,
// says so and why and prints the whole report. Remembers that an error happened.
class CliErrorPresenter : public ErrorPresenter {
public:
  void showProgramError(bool modal) override;
  bool errorShown() const { return errorShown_; }

private:
  bool errorShown_ = false;
};

} // namespace zandrex::cli
