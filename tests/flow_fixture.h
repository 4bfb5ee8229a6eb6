// A find-flow fixture: a temporary tree, a headless view and the core over them.
#pragma once

#include "errors/err_trap.h"
#include "fake_view.h"
#include "form1/form1_core.h"
#include "scan/special_folders.h"
#include "test_support.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace zandrex::test {

class RecordingPresenter : public ErrorPresenter {
public:
  int shown = 0;
  void showProgramError(bool) override { ++shown; }
};

class FlowTest : public ::testing::Test {
protected:
  TempDir tree;
  TempDir reports;
  MemorySettings settings;
  FakeView view;
  Form1Core core{view, settings};
  RecordingPresenter presenter;

  void SetUp() override {
    resetErrTrap();
    reportEnvironment().reportFolder = [this] { return reports.path() + "Zandrex"; };
    setErrorPresenter(&presenter);
    // Keep real system folders out of the way of temporary trees.
    setSpecialFolderOverride([](int number) -> std::string {
      return number == CSIDL_PROGRAM_FILES ? "/nonexistent-programs" : "/nonexistent-system";
    });
    core.setUpGrid();
    useSource(tree.path());
  }
  void TearDown() override {
    setErrorPresenter(nullptr);
    setSpecialFolderOverride({});
    reportEnvironment() = defaultReportEnvironment();
    resetErrTrap();
  }

  void useSource(const std::string& source) {
    core.SourcePath = source;
    core.fdFromForRename = source;
  }

  void find(int mode) {
    view.comparison = mode;
    core.Command3_Click();
  }

  // The rows as groups of paths relative to the tree.
  std::vector<std::vector<std::string>> groups() const {
    std::vector<std::vector<std::string>> out;
    const ReportGrid& grid = core.ReportControl1;
    for (std::size_t i = 0; i < grid.rowCount(); ++i) {
      const GridRow& row = grid.row(i);
      if (row.isGroup()) {
        out.emplace_back();
        continue;
      }
      if (out.empty())
        out.emplace_back();
      out.back().push_back(core.fullPath(row.record).substr(tree.path().size()));
    }
    return out;
  }

  std::size_t fileRows() const {
    std::size_t n = 0;
    for (std::size_t i = 0; i < core.ReportControl1.rowCount(); ++i)
      n += core.ReportControl1.row(i).isGroup() ? 0 : 1;
    return n;
  }
};

using Groups = std::vector<std::vector<std::string>>;

} // namespace zandrex::test
