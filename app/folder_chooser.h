// The "..." button's folder chooser: a modal dialog titled "Browse for folder or disk" that shows
// the file-system roots and mount points and lets only an existing folder be confirmed.
#pragma once

#include <QString>
#include <QStringList>

class QWidget;

namespace zandrex::desktop {

inline constexpr const char* kBrowseCaption = "Browse for folder or disk";
inline constexpr const char* kBrowseInstruction = "Choose a folder or disk:";

// The file-system root and the mount points of ready, valid volumes, each once, root first.
QStringList mountedRoots();

// The folder the dialog opens at: the home folder when startPath is empty; else startPath when
// it is an existing folder, else its nearest existing ancestor, else the file-system root.
QString startFolder(const QString& startPath);

// Shows the dialog over owner, opened at startPath; returns the chosen folder's path as the
// dialog gives it (the root keeps its "/", other folders have none), or "" when cancelled or
// the choice is no existing folder. With a startPath the folder it opens at is chosen at once
// ("Choose" and Enter take it); without one it opens in the home folder with nothing chosen,
// and "Choose" stays disabled until the user picks a folder.
QString BrowseDrive(QWidget* owner, const QString& startPath);

} // namespace zandrex::desktop
