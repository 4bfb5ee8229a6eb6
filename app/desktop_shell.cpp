#include "desktop_shell.h"

#include "errors/err_trap.h"
#include "settings/settings_store.h"
#include "shellaid/shell_helpers.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDesktopServices>
#include <QFileInfo>
#include <QUrl>
#include <QWidget>
#include <cerrno>
#include <cstdint>
#include <unistd.h>

namespace zandrex::desktop {

namespace {

constexpr const char* kFileManagerService = "org.freedesktop.FileManager1";
constexpr const char* kFileManagerPath = "/org/freedesktop/FileManager1";
constexpr const char* kFileManagerInterface = "org.freedesktop.FileManager1";
constexpr const char* kShowItemsMethod = "ShowItems";
// A file manager that has not answered by then is not coming; the user is waiting on the click.
constexpr int kFileManagerTimeoutMs = 3000;
// The shell's "no application associated" code: what a refused open means when nothing better
// is known.
constexpr int kNoAssociationCode = 31;

UrlOpener& urlOpener() {
  static UrlOpener opener;
  return opener;
}

MessageBoxShower& messageBoxShower() {
  static MessageBoxShower shower;
  return shower;
}

ItemShower& itemShower() {
  static ItemShower shower;
  return shower;
}

bool openUrl(const QUrl& url) {
  if (urlOpener())
    return urlOpener()(url);
  return QDesktopServices::openUrl(url);
}

void showMessage(QWidget* owner, QMessageBox::Icon icon, const QString& text) {
  const QString title = QString::fromUtf8(kAppTitle);
  if (messageBoxShower()) {
    messageBoxShower()(owner, icon, title, text);
    return;
  }
  QMessageBox box(icon, title, text, QMessageBox::Ok, owner);
  box.exec();
}

bool showItemsOverSessionBus(const QStringList& fileUrls) {
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected())
    return false;
  QDBusMessage call = QDBusMessage::createMethodCall(kFileManagerService, kFileManagerPath,
                                                     kFileManagerInterface, kShowItemsMethod);
  call << fileUrls << QString();
  const QDBusMessage reply = bus.call(call, QDBus::Block, kFileManagerTimeoutMs);
  return reply.type() == QDBusMessage::ReplyMessage;
}

bool showItems(const QStringList& fileUrls) {
  if (itemShower())
    return itemShower()(fileUrls);
  return showItemsOverSessionBus(fileUrls);
}

// The report names a window by its class, the way it names any object.
ParamValue windowParam(const QWidget* window) {
  if (!window)
    return ParamValue::object({});
  const QString className = QString::fromLatin1(window->metaObject()->className());
  return ParamValue::object(className.section(QStringLiteral("::"), -1).toStdString());
}

// A window handle is only a number to the report.
std::int64_t windowHandle(const QWidget* window) {
  return static_cast<std::int64_t>(reinterpret_cast<std::uintptr_t>(window));
}

} // namespace

void setUrlOpener(UrlOpener opener) {
  urlOpener() = std::move(opener);
}
void setMessageBoxShower(MessageBoxShower shower) {
  messageBoxShower() = std::move(shower);
}
void setItemShower(ItemShower shower) {
  itemShower() = std::move(shower);
}

void SendMail(QWidget* owner, const QString& Address, const QString& Subject, const QString& Body,
              const QString& CC, const QString& bcc, const QString& Attachement) {
  const std::string address = Address.toStdString();
  const std::string subject = Subject.toStdString();
  const std::string body = Body.toStdString();
  const std::string cc = CC.toStdString();
  const std::string blindCc = bcc.toStdString();
  const std::string attachment = Attachement.toStdString();
  trapInner(
      "mMain.SendMail(lhWnd,Address,Subject,Body,CC,bcc,Attachement)",
      [&] {
        const std::string url = buildMailUrl(address, subject, body, cc, blindCc, attachment);
        // The text is already escaped as the mail client expects it; QUrl must not redo it.
        openUrl(QUrl::fromEncoded(QByteArray::fromStdString(url)));
      },
      windowHandle(owner), address, subject, body, cc, blindCc, attachment);
}

void openWebsite(const QString& address) {
  openUrl(QUrl::fromEncoded(address.toUtf8()));
}

bool FileManager(QWidget* owner, const QString& pName) {
  const std::string name = pName.toStdString();
  return trapInner(
      "mMain.FileManager(pName)",
      [&] {
        const FileManagerCheck check = checkFileManagerPath(name);
        if (check == FileManagerCheck::Ok)
          return true;
        showMessage(owner, QMessageBox::Critical,
                    QString::fromStdString(fileManagerMessage(check)));
        return false;
      },
      name);
}

void ShellErrorMessage(QWidget* owner, int lngReturn) {
  trapInner(
      "mMain.ShellErrorMessage(lngReturn)",
      [&] {
        const std::string message = shellErrorText(lngReturn);
        if (!message.empty())
          showMessage(owner, QMessageBox::Warning, QString::fromStdString(message));
      },
      lngReturn);
}

void OpenInExplorerList(QWidget* frm, const QString& pPath) {
  const std::string path = pPath.toStdString();
  trapInner(
      "mMain.OpenInExplorerList(frm,pPath)",
      [&] {
        if (!FileManager(frm, pPath))
          return;
        if (showItems({QUrl::fromLocalFile(pPath).toString(QUrl::FullyEncoded)}))
          return;
        // No file manager on the bus: the folder alone is the next best thing.
        const QString folder = QFileInfo(pPath).absolutePath();
        if (openUrl(QUrl::fromLocalFile(folder)))
          return;
        const QByteArray folderBytes = QFile::encodeName(folder);
        ShellErrorMessage(frm, ::access(folderBytes.constData(), R_OK | X_OK) != 0
                                   ? shellCodeForErrno(errno)
                                   : kNoAssociationCode);
      },
      windowParam(frm), path);
}

} // namespace zandrex::desktop
