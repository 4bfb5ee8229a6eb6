// The "Filters..." button, its dialog and its summary in the main window: what is stored comes
// back, a find leaves out what the filter says, and a value that cannot be used is never taken.
#include "filter_controls.h"
#include "filter_dialog.h"
#include "main_window.h"
#include "qt_settings.h"
#include "source/special_folders.h"
#include "test_support.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <gtest/gtest.h>
#include <memory>

namespace zandrex::desktop {
namespace {

class FilterControlsTest : public ::testing::Test {
protected:
  test::TempDir settingsDir;
  test::TempDir tree;
  QtSettings settings{QString::fromStdString(settingsDir.path() + "z.ini")};
  std::unique_ptr<Form1> form;

  void SetUp() override {
    setSpecialFolderOverride(
        [](int number) -> std::string { return "/nonexistent-" + std::to_string(number); });
    tree.writeEach({"a/big.bin", "b/big.bin"}, std::string(2048, 'x'));
    tree.writeEach({"a/small.bin", "b/small.bin"}, "x");
    tree.writeEach({"a/note.tmp", "b/note.tmp"}, std::string(4096, 'y'));
  }
  void TearDown() override { setSpecialFolderOverride({}); }

  Form1& open() {
    settings.SaveSetting(kAppTitle, "Path", "Path", tree.path());
    form = std::make_unique<Form1>(settings);
    form->dialogs.systemFolderWarning = [](const std::string&) { return true; };
    form->show();
    return *form;
  }
  FilterControls& filters() { return *form->filterControls(); }
  std::string summary() { return filters().summary()->text().toStdString(); }
  std::string stored(const char* key) {
    return settings.GetSetting(kAppTitle, "Filters", key, "<absent>");
  }
  // The names of the files the last find by name left, sorted as listed.
  std::vector<std::string> foundNames() {
    std::vector<std::string> names;
    const ReportGrid& grid = form->core().grid();
    for (std::size_t i = 0; i < grid.rowCount(); ++i)
      if (!grid.row(i).isGroup())
        names.emplace_back(grid.item(grid.row(i).record, col::kFile).asText());
    return names;
  }
  void find() { form->findChild<QPushButton*>("Command3")->click(); }
  // Answers the next "Filters..." dialog with a size and patterns, then OK.
  void answerFilters(const QString& size, const QString& patterns) {
    filters().runDialog = [size, patterns](FilterDialog& dialog) {
      dialog.minimumSize()->setText(size);
      dialog.patterns()->setPlainText(patterns);
      dialog.okButton()->click();
      return dialog.result() == QDialog::Accepted;
    };
  }
};

TEST_F(FilterControlsTest, NoFilterFindsAllAndAStoredOneComesBackAndLeavesOutWhatItSays) {
  open();
  EXPECT_EQ(summary(), "Filters: none");
  find();
  EXPECT_EQ(foundNames(), (std::vector<std::string>{"big.bin", "big.bin", "note.tmp", "note.tmp",
                                                    "small.bin", "small.bin"}));
  form.reset();
  settings.SaveSetting(kAppTitle, "Filters", "MinimumSize", "2048");
  settings.SaveSetting(kAppTitle, "Filters", "Exclude", "*.tmp");
  open();
  EXPECT_EQ(summary(), "Filters: \u2265 2 KiB, 1 pattern");
  EXPECT_EQ(filters().summary()->toolTip().toStdString(),
            "Filters: \u2265 2 KiB, 1 pattern\n*.tmp");
  find();
  EXPECT_EQ(foundNames(), (std::vector<std::string>{"big.bin", "big.bin"}));
}

TEST_F(FilterControlsTest, TheDialogStoresWhatItTakesAndTheNextFindUsesIt) {
  open();
  answerFilters("4k", "\n*.bin\n\n");
  filters().button()->click();
  EXPECT_EQ(summary(), "Filters: \u2265 4 KiB, 1 pattern");
  EXPECT_EQ(stored("MinimumSize"), "4096");
  EXPECT_EQ(stored("Exclude"), "*.bin");
  find();
  EXPECT_EQ(foundNames(), (std::vector<std::string>{"note.tmp", "note.tmp"}));
  // The dialog opens with what is in use; emptied, it leaves out nothing again.
  filters().runDialog = [](FilterDialog& dialog) {
    EXPECT_EQ(dialog.minimumSize()->text(), "4k");
    EXPECT_EQ(dialog.patterns()->toPlainText(), "*.bin");
    dialog.minimumSize()->clear();
    dialog.patterns()->clear();
    dialog.okButton()->click();
    return dialog.result() == QDialog::Accepted;
  };
  filters().button()->click();
  EXPECT_EQ(summary(), "Filters: none");
  EXPECT_EQ(stored("MinimumSize"), "0");
  find();
  EXPECT_EQ(foundNames().size(), 6u);
}

TEST_F(FilterControlsTest, AValueThatCannotBeUsedKeepsTheDialogOpenAndChangesNothing) {
  open();
  for (const auto& [size, patterns] :
       {std::pair<QString, QString>{"1.5M", ""}, {"10", "ok\nsub/*.tmp"}, {"-1", ""}}) {
    bool stayedOpen = false;
    filters().runDialog = [&, size = size, patterns = patterns](FilterDialog& dialog) {
      dialog.minimumSize()->setText(size);
      dialog.patterns()->setPlainText(patterns);
      dialog.okButton()->click();
      stayedOpen = dialog.result() != QDialog::Accepted && !dialog.problem()->isHidden();
      return false;
    };
    filters().button()->click();
    EXPECT_TRUE(stayedOpen) << size.toStdString() << patterns.toStdString();
  }
  EXPECT_EQ(summary(), "Filters: none");
  EXPECT_EQ(stored("MinimumSize"), "<absent>");
  EXPECT_TRUE(form->core().filter().leavesOutNothing());
}

TEST_F(FilterControlsTest, TheButtonSitsBesideTheSubfoldersBoxInsideTheSourceFrame) {
  open();
  const QRect frame = form->findChild<QWidget*>("Frame6")->geometry();
  const QRect box = form->findChild<QCheckBox*>("chSubfolders")->geometry();
  const QRect button = filters().button()->geometry();
  const QRect label = filters().summary()->geometry();
  EXPECT_FALSE(button.intersects(box));
  EXPECT_FALSE(label.intersects(button));
  EXPECT_TRUE(frame.contains(button)) << frame.right() << " " << button.right();
  EXPECT_GE(button.width(), filters().button()->sizeHint().width() / 2);
  EXPECT_TRUE(filters().button()->isVisible());
}

} // namespace
} // namespace zandrex::desktop
