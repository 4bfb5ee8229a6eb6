// A find-flow fixture: a temporary tree, a headless view and the core over them.
#pragma once

#include "errors/err_trap.h"
#include "fake_view.h"
#include "find/duplicate_finder.h"
#include "shellaid/program_environment.h"
#include "source/special_folders.h"
#include "test_support.h"

#include <gtest/gtest.h>
#include <initializer_list>
#include <string>
#include <sys/stat.h>
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
  DuplicateFinder core{view, settings};
  RecordingPresenter presenter;

  void SetUp() override {
    resetErrTrap();
    reportEnvironment() = programReportEnvironment();
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
    reportEnvironment() = programReportEnvironment();
    resetErrTrap();
  }

  void useSource(const std::string& source) { core.setSource(source); }

  void find(int mode) {
    view.comparison = mode;
    core.find();
  }

  // Runs the scan alone, grouped by nothing: the listed paths relative to the tree, in walk order.
  std::vector<std::string> scannedPaths() {
    core.grid().groupOrderClear();
    core.scan();
    std::vector<std::string> paths;
    for (std::size_t i = 0; i < core.grid().recordCount(); ++i)
      paths.push_back(core.fullPath(core.grid().recordAt(i)).substr(tree.path().size()));
    return paths;
  }

  // The rows as groups of paths relative to the tree.
  std::vector<std::vector<std::string>> groups() const {
    std::vector<std::vector<std::string>> out;
    const ReportGrid& grid = core.grid();
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

  // The record of the file at a path relative to the tree; kNoRecord when none.
  RecordId recordOf(const std::string& relative) const {
    const ReportGrid& grid = core.grid();
    for (std::size_t i = 0; i < grid.recordCount(); ++i)
      if (core.fullPath(grid.recordAt(i)) == tree.path() + relative)
        return grid.recordAt(i);
    return kNoRecord;
  }

  void tick(std::initializer_list<std::string> relatives) {
    for (const std::string& relative : relatives) {
      RecordId record = recordOf(relative);
      ASSERT_NE(record, kNoRecord) << relative;
      core.grid().setTicked(record, true);
    }
  }

  bool exists(const std::string& relative) const {
    struct stat st;
    return ::lstat((tree.path() + relative).c_str(), &st) == 0;
  }

  // One column of the deletion-failure list, in its order.
  std::vector<std::string> failureColumn(int column) const {
    std::vector<std::string> out;
    const ReportGrid& list = core.failures().grid();
    for (std::size_t i = 0; i < list.rowCount(); ++i)
      out.emplace_back(list.item(list.row(i).record, column).asText());
    return out;
  }

  std::size_t fileRows() const {
    std::size_t n = 0;
    for (std::size_t i = 0; i < core.grid().rowCount(); ++i)
      n += core.grid().row(i).isGroup() ? 0 : 1;
    return n;
  }
};

using Groups = std::vector<std::vector<std::string>>;

} // namespace zandrex::test
