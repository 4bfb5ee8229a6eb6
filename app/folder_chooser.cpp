#include "folder_chooser.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QList>
#include <QStorageInfo>
#include <QUrl>

namespace zandrex::desktop {

QStringList mountedRoots() {
  QStringList roots{QDir::rootPath()};
  for (const QStorageInfo& volume : QStorageInfo::mountedVolumes()) {
    if (!volume.isValid() || !volume.isReady())
      continue;
    const QString root = volume.rootPath();
    if (!roots.contains(root))
      roots << root;
  }
  return roots;
}

QString startFolder(const QString& startPath) {
  if (startPath.isEmpty())
    return QDir::rootPath();
  QString path = QDir::cleanPath(QDir(startPath).absolutePath());
  while (!QFileInfo(path).isDir()) {
    const QString parent = QFileInfo(path).path();
    if (parent == path)
      return QDir::rootPath();
    path = parent;
  }
  return path;
}

QString BrowseDrive(QWidget* owner, const QString& startPath) {
  QFileDialog dialog(owner, kBrowseCaption, startFolder(startPath));
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  dialog.setOption(QFileDialog::ShowDirsOnly);
  dialog.setFileMode(QFileDialog::Directory);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setLabelText(QFileDialog::LookIn, kBrowseInstruction);
  dialog.setLabelText(QFileDialog::FileName, "Folder:");
  QList<QUrl> places;
  for (const QString& root : mountedRoots())
    places << QUrl::fromLocalFile(root);
  places << QUrl::fromLocalFile(QDir::homePath());
  dialog.setSidebarUrls(places);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
    return {};
  const QFileInfo chosen(dialog.selectedFiles().constFirst());
  if (!chosen.isDir())
    return {};
  return QDir::cleanPath(chosen.absoluteFilePath());
}

} // namespace zandrex::desktop
