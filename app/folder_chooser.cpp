#include "folder_chooser.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QList>
#include <QPushButton>
#include <QStorageInfo>
#include <QUrl>

namespace zandrex::desktop {

namespace {

// The non-native folder dialog, which on its own offers the folder it shows as chosen the
// moment it opens. Opened without a source, nothing is chosen: "Choose" stays disabled and
// Enter does nothing until the user picks a folder, by selecting or typing one or by going into
// one.
class FolderDialog : public QFileDialog {
public:
  FolderDialog(QWidget* owner, const QString& folder, bool chosenAtStart)
      : QFileDialog(owner, kBrowseCaption, folder), picked_(chosenAtStart) {
    setOption(QFileDialog::DontUseNativeDialog);
    setOption(QFileDialog::ShowDirsOnly);
    setFileMode(QFileDialog::Directory);
    setAcceptMode(QFileDialog::AcceptOpen);
    setLabelText(QFileDialog::LookIn, kBrowseInstruction);
    setLabelText(QFileDialog::FileName, "Folder:");
    QList<QUrl> places;
    for (const QString& root : mountedRoots())
      places << QUrl::fromLocalFile(root);
    places << QUrl::fromLocalFile(QDir::homePath());
    setSidebarUrls(places);
    if (picked_)
      return;
    // Connected after the dialog went to its folder, so only the user's moves count.
    connect(this, &QFileDialog::directoryEntered, this, [this] { pick(); });
    connect(this, &QFileDialog::currentChanged, this, [this] { pick(); });
    if (auto* name = findChild<QLineEdit*>("fileNameEdit"))
      connect(name, &QLineEdit::textEdited, this, [this] { pick(); });
    if (QPushButton* choose = chooseButton()) {
      choose->installEventFilter(this);
      choose->setEnabled(false);
    }
  }

  void accept() override {
    if (picked_)
      QFileDialog::accept();
  }

protected:
  // Whatever the dialog itself decides, "Choose" stays disabled until a folder is picked.
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (!picked_ && event->type() == QEvent::EnabledChange) {
      QPushButton* choose = chooseButton();
      if (watched == choose && choose->isEnabled())
        choose->setEnabled(false);
    }
    return QFileDialog::eventFilter(watched, event);
  }

private:
  QPushButton* chooseButton() const {
    auto* buttons = findChild<QDialogButtonBox*>("buttonBox");
    return buttons ? buttons->button(QDialogButtonBox::Open) : nullptr;
  }

  void pick() {
    if (picked_)
      return;
    picked_ = true;
    const QStringList chosen = selectedFiles();
    if (QPushButton* choose = chooseButton())
      choose->setEnabled(!chosen.isEmpty() && QFileInfo(chosen.constFirst()).isDir());
  }

  bool picked_;
};

} // namespace

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
    return QDir::homePath();
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
  FolderDialog dialog(owner, startFolder(startPath), !startPath.isEmpty());
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
    return {};
  const QFileInfo chosen(dialog.selectedFiles().constFirst());
  if (!chosen.isDir())
    return {};
  return QDir::cleanPath(chosen.absoluteFilePath());
}

} // namespace zandrex::desktop
