#include "folder_chooser.h"
#include "test_support.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QTimer>
#include <functional>
#include <gtest/gtest.h>

namespace zandrex::desktop {
namespace {

// Answers the dialog once its modal loop has started.
void answer(std::function<void(QFileDialog&)> with) {
  QTimer::singleShot(0, [with] {
    auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
    ASSERT_NE(dialog, nullptr);
    with(*dialog);
  });
}

TEST(FolderChooser, OpensAtTheNearestExistingFolderAndReturnsTheConfirmedOneOrNothing) {
  test::TempDir dir;
  const QString base = QString::fromStdString(dir.mkdir("photos"));
  const QString absolute = QDir(base).absolutePath();
  EXPECT_EQ(startFolder(base), absolute);
  EXPECT_EQ(startFolder(base + "gone/deeper/"), absolute);
  EXPECT_EQ(startFolder(""), QDir::rootPath());
  EXPECT_EQ(mountedRoots().constFirst(), QDir::rootPath());
  EXPECT_EQ(mountedRoots().count(QDir::rootPath()), 1);

  QString title;
  QString instruction;
  answer([&](QFileDialog& dialog) {
    title = dialog.windowTitle();
    instruction = dialog.labelText(QFileDialog::LookIn);
    static_cast<QDialog&>(dialog).accept();
  });
  EXPECT_EQ(BrowseDrive(nullptr, base + "gone/"), absolute);
  EXPECT_EQ(title, kBrowseCaption);
  EXPECT_EQ(instruction, kBrowseInstruction);
  answer([](QFileDialog& dialog) { dialog.reject(); });
  EXPECT_EQ(BrowseDrive(nullptr, base), "");
}

} // namespace
} // namespace zandrex::desktop
