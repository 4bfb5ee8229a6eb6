#include "folder_chooser.h"
#include "test_support.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QTimer>
#include <gtest/gtest.h>

namespace zandrex::desktop {
namespace {

using test::TempDir;

TEST(FolderChooser, StartsAtTheSourceOrItsNearestExistingAncestor) {
  TempDir dir;
  const QString base = QString::fromStdString(dir.mkdir("photos"));
  EXPECT_EQ(startFolder(base), QDir(base).absolutePath());
  EXPECT_EQ(startFolder(base + "gone/deeper/"), QDir(base).absolutePath());
  EXPECT_EQ(startFolder(""), QDir::rootPath());
  EXPECT_EQ(mountedRoots().constFirst(), QDir::rootPath());
  EXPECT_EQ(mountedRoots().count(QDir::rootPath()), 1);
}

TEST(FolderChooser, ReturnsTheFolderItWasConfirmedInAndNothingWhenCancelled) {
  TempDir dir;
  const QString base = QString::fromStdString(dir.mkdir("photos"));
  QString title;
  QString instruction;
  QTimer::singleShot(0, [&] {
    auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
    ASSERT_NE(dialog, nullptr);
    title = dialog->windowTitle();
    instruction = dialog->labelText(QFileDialog::LookIn);
    static_cast<QDialog*>(dialog)->accept();
  });
  EXPECT_EQ(BrowseDrive(nullptr, base), QDir(base).absolutePath());
  EXPECT_EQ(title, kBrowseCaption);
  EXPECT_EQ(instruction, kBrowseInstruction);

  QTimer::singleShot(0, [] {
    auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
    ASSERT_NE(dialog, nullptr);
    dialog->reject();
  });
  EXPECT_EQ(BrowseDrive(nullptr, base), "");
}

} // namespace
} // namespace zandrex::desktop
