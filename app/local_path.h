// Paths between the engine and Qt: the engine keeps a path as the bytes the file system gave,
// Qt shows text. Going through the local file-name codec both ways keeps a name that is not
// valid in that codec the same bytes after a round trip.
#pragma once

#include <QFile>
#include <QString>
#include <string>

namespace zandrex::desktop {

inline QString localPath(const std::string& path) {
  return QFile::decodeName(path.c_str());
}

inline std::string localPath(const QString& path) {
  return QFile::encodeName(path).toStdString();
}

} // namespace zandrex::desktop
