// The desktop's shell helpers: mail links, web links, and showing a file in the file manager.
#pragma once

#include <QMessageBox>
#include <QString>
#include <functional>

class QUrl;
class QWidget;

namespace zandrex::desktop {

// Builds the "mailto:" text and hands it to the desktop unchanged. The desktop's answer is not
// looked at: nothing is shown when no mail client takes the link.
void SendMail(QWidget* owner, const QString& Address, const QString& Subject,
              const QString& Body = {}, const QString& CC = {}, const QString& bcc = {},
              const QString& Attachement = {});
// Opens a web address in the default browser; the answer is not looked at.
void openWebsite(const QString& address);
// The drive check: true when pName's file system is mounted and readable and pName exists;
// otherwise shows why in a critical message box.
bool FileManager(QWidget* owner, const QString& pName);
// Shows the text for a refusal code of the desktop's opener, when there is one.
void ShellErrorMessage(QWidget* owner, int lngReturn);
// Shows the file's folder in the file manager with the file selected (after the drive check).
// A failed check shows its message in a critical box and stops. The file manager is asked over
// the session bus first; without one, the folder itself is opened; when that fails too, the
// reason is shown in an exclamation box.
void OpenInExplorerList(QWidget* frm, const QString& pPath);

// Seams for tests and for desktops without the usual services. Setting an empty function
// restores the real behaviour.
//
// Hands a URL to the desktop; true when some program took it (QDesktopServices::openUrl).
using UrlOpener = std::function<bool(const QUrl& url)>;
void setUrlOpener(UrlOpener opener);
// Shows a message box with one OK button (QMessageBox).
using MessageBoxShower = std::function<void(QWidget* owner, QMessageBox::Icon icon,
                                            const QString& title, const QString& text)>;
void setMessageBoxShower(MessageBoxShower shower);
// Asks a file manager to show the items (file:// URLs) selected; true when one answered
// (org.freedesktop.FileManager1.ShowItems over the session bus).
using ItemShower = std::function<bool(const QStringList& fileUrls)>;
void setItemShower(ItemShower shower);

} // namespace zandrex::desktop
