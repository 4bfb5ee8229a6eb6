// A headless main window for driving the flows in tests.
#pragma once

#include "find/duplicate_finder.h"

#include <functional>
#include <string>
#include <vector>

namespace zandrex::test {

class FakeView : public FinderView {
public:
  int subfolders = 1;
  int comparison = ByName;
  bool continueAnyway = true;
  bool gridVisible = true;
  bool pleaseWaitVisible = false;
  bool deleteEnabled = false;
  MousePointer pointer = MousePointer::Default;
  int eventPasses = 0;
  std::vector<std::string> warnings;
  std::vector<std::string> exclamations;
  std::vector<std::string> failureWindows;
  // Runs at every event pass (a test's stand-in for the user's clicks).
  std::function<void()> onEvents;

  void doEvents() override {
    ++eventPasses;
    if (onEvents)
      onEvents();
  }
  void setGridVisible(bool visible) override { gridVisible = visible; }
  void setPleaseWaitVisible(bool visible) override { pleaseWaitVisible = visible; }
  void setDeleteEnabled(bool enabled) override { deleteEnabled = enabled; }
  void setMousePointer(MousePointer p) override { pointer = p; }
  void statusTextChanged() override {}
  void progressChanged(int) override {}
  int subfoldersValue() override { return subfolders; }
  int comparisonIndex() override { return comparison; }
  bool showSystemFolderWarning(const std::string& list) override {
    warnings.push_back(list);
    return continueAnyway;
  }
  void showExclamation(const std::string& text) override { exclamations.push_back(text); }
  void showFailureWindow(const std::string& label) override { failureWindows.push_back(label); }
};

} // namespace zandrex::test
