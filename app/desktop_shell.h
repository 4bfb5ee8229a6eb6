// The desktop's shell helpers: mail links, web links, and showing a file in the file manager.
#pragma once

#include <QString>

class QWidget;

namespace zandrex::desktop {

// Builds the "mailto:" text and hands it to the desktop unchanged.
void SendMail(QWidget* owner, const QString& Address, const QString& Subject,
              const QString& Body = {}, const QString& CC = {}, const QString& bcc = {},
              const QString& Attachement = {});
// Opens a web address in the default browser; the answer is not looked at.
void openWebsite(const QString& address);
// Shows the file's folder in the file manager with the file selected (after the drive check).
void OpenInExplorerList(QWidget* frm, const QString& pPath);

} // namespace zandrex::desktop
