#include "shellaid/shell_helpers.h"

#include "settings/message_texts.h"
#include "settings/settings_store.h"

#include <cerrno>
#include <fstream>
#include <sstream>
#include <string_view>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <utility>

namespace zandrex {

namespace {

constexpr const char* kMailScheme = "mailto:";
constexpr const char* kErrorReportSubject = " Error report";
constexpr const char* kMountInfoFile = "/proc/self/mountinfo";
// The mount point is the fifth blank-separated field of a mountinfo line.
constexpr int kMountPointField = 4;
constexpr int kMinorDigits = 2;

namespace shellcode {
constexpr int kOutOfResources = 0;
constexpr int kFileNotFound = 2;
constexpr int kPathNotFound = 3;
constexpr int kAccessDenied = 5;
constexpr int kOutOfMemory = 8;
constexpr int kBadFormat = 11;
constexpr int kSharingViolation = 26;
constexpr int kAssociationIncomplete = 27;
constexpr int kNoAssociation = 31;
} // namespace shellcode

void replaceAll(std::string& text, std::string_view from, std::string_view to) {
  std::size_t position = 0;
  while ((position = text.find(from, position)) != std::string::npos) {
    text.replace(position, from.size(), to);
    position += to.size();
  }
}

// Decodes the octal escapes ("\040" for a blank) the kernel writes into mount paths.
std::string decodeMountPath(std::string_view field) {
  std::string result;
  for (std::size_t i = 0; i < field.size(); ++i) {
    const bool escape = field[i] == '\\' && i + 3 < field.size();
    if (escape && field[i + 1] >= '0' && field[i + 1] <= '3' && field[i + 2] >= '0' &&
        field[i + 2] <= '7' && field[i + 3] >= '0' && field[i + 3] <= '7') {
      result += static_cast<char>((field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 +
                                  (field[i + 3] - '0'));
      i += 3;
      continue;
    }
    result += field[i];
  }
  return result;
}

// True when mountPoint is path itself or a folder on the way to it.
bool covers(const std::string& mountPoint, const std::string& path) {
  if (mountPoint == "/")
    return true;
  if (!path.starts_with(mountPoint))
    return false;
  return path.size() == mountPoint.size() || path[mountPoint.size()] == '/';
}

} // namespace

std::string escapeMailText(std::string text) {
  replaceAll(text, "&", "%26");
  replaceAll(text, " ", "%20");
  replaceAll(text, "\r\n", "%0D%0A");
  replaceAll(text, "\r", "%0D");
  replaceAll(text, "\n", "%0A");
  return text;
}

std::string buildMailUrl(const std::string& Address, const std::string& Subject,
                         const std::string& Body, const std::string& CC, const std::string& bcc,
                         const std::string& Attachement) {
  std::string params;
  if (!Subject.empty())
    params += "&Subject=" + escapeMailText(Subject);
  if (!Body.empty())
    params += "&Body=" + escapeMailText(Body) + "%0D%0A";
  if (!CC.empty())
    params += "&CC=" + CC;
  if (!bcc.empty())
    params += "&BCC=" + bcc;
  if (!Attachement.empty())
    params += "&Attacth=\"" + Attachement + "\"";
  if (!params.empty())
    params.front() = '?';
  return kMailScheme + Address + params;
}

std::string mailSubject(int major, int minor, bool errorReport) {
  std::string subject =
      std::string(kAppTitle) + " v" + std::to_string(major) + "." + std::to_string(minor);
  if (errorReport)
    subject += kErrorReportSubject;
  return subject;
}

std::string aboutVersionText(int major, int minor) {
  std::string minorText = std::to_string(minor);
  if (minor >= 0 && minorText.size() < kMinorDigits)
    minorText.insert(0, kMinorDigits - minorText.size(), '0');
  return msgVersion + std::to_string(major) + "." + minorText;
}

std::string shellErrorText(int code) {
  switch (code) {
  case shellcode::kOutOfResources:
    return "The operating system is out of memory or resources.";
  case shellcode::kFileNotFound:
    return "The specified file was not found.";
  case shellcode::kPathNotFound:
    return "The specified path was not found.";
  case shellcode::kAccessDenied:
    return "The operating system denied access to the specified file.";
  case shellcode::kOutOfMemory:
    return "There was not enough memory to complete the operation.";
  case shellcode::kBadFormat:
    return "The .exe file is invalid (non-Win32 .exe or error in .exe image).";
  case shellcode::kSharingViolation:
    return "A sharing violation occurred.";
  case shellcode::kAssociationIncomplete:
    return "The file name association is incomplete or invalid.";
  case shellcode::kNoAssociation:
    return "There is no application associated with the given file name extension. This error "
           "will also be returned if you attempt to print a file that is not printable.";
  default:
    return {};
  }
}

int shellCodeForErrno(int errnoValue) {
  switch (errnoValue) {
  case ENOENT:
    return shellcode::kFileNotFound;
  case ENOTDIR:
    return shellcode::kPathNotFound;
  case EACCES:
  case EPERM:
    return shellcode::kAccessDenied;
  case ENOMEM:
    return shellcode::kOutOfMemory;
  case ENOEXEC:
    return shellcode::kBadFormat;
  case EBUSY:
  case ETXTBSY:
    return shellcode::kSharingViolation;
  default:
    return shellcode::kNoAssociation;
  }
}

std::vector<std::string> mountPointsFromMountInfo(const std::string& text) {
  std::vector<std::string> result;
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    std::istringstream fields(line);
    std::string field;
    for (int i = 0; i <= kMountPointField && fields >> field; ++i) {
      if (i == kMountPointField)
        result.push_back(decodeMountPath(field));
    }
  }
  return result;
}

std::vector<std::string> currentMountPoints() {
  std::ifstream in(kMountInfoFile, std::ios::binary);
  if (!in)
    return {};
  std::ostringstream text;
  text << in.rdbuf();
  return mountPointsFromMountInfo(text.str());
}

FileManagerCheck checkFileManagerPath(const std::string& pName) {
  return checkFileManagerPath(pName, currentMountPoints());
}

FileManagerCheck checkFileManagerPath(const std::string& pName,
                                      const std::vector<std::string>& mountPoints) {
  if (pName.empty() || pName.front() != '/')
    return FileManagerCheck::DriveNotPresent;
  const std::string* drive = nullptr;
  for (const std::string& mountPoint : mountPoints) {
    if (covers(mountPoint, pName) && (!drive || mountPoint.size() > drive->size()))
      drive = &mountPoint;
  }
  if (!drive)
    return FileManagerCheck::DriveNotPresent;
  struct statvfs volume {};
  if (statvfs(drive->c_str(), &volume) != 0)
    return FileManagerCheck::NoDisk;
  struct stat entry {};
  if (lstat(pName.c_str(), &entry) != 0)
    return FileManagerCheck::FileNotFound;
  return FileManagerCheck::Ok;
}

std::string fileManagerMessage(FileManagerCheck result) {
  switch (result) {
  case FileManagerCheck::Ok:
    return {};
  case FileManagerCheck::DriveNotPresent:
    return msgDriveNotPresent;
  case FileManagerCheck::NoDisk:
    return msgNoDisk;
  case FileManagerCheck::FileNotFound:
    return msgFileNotFound;
  }
  return {};
}

} // namespace zandrex
