// The texts the shell helpers hand to the desktop: the "mailto:" link, the mail subject, the
// About window's version line, the shell-refusal messages, and the check that runs before a
// file manager is opened on a file. Opening links and folders is the desktop's part; these are
// the rules, with no trap of their own (their callers trap).
#pragma once

#include <string>
#include <vector>

namespace zandrex {

// Escapes a mail subject or body: "&" -> "%26", " " -> "%20", CR LF -> "%0D%0A", then a lone CR
// -> "%0D" and a lone LF -> "%0A", in that order. Nothing else is touched ("%20" stays).
std::string escapeMailText(std::string text);

// The "mailto:" link: Address as given, then "?Subject=", "&Body=" (with "%0D%0A" appended),
// "&CC=", "&BCC=", "&Attacth=\"...\"" for each part that is not empty (subject and body escaped,
// the others as given). No "?" at all when every part is empty.
std::string buildMailUrl(const std::string& Address, const std::string& Subject,
                         const std::string& Body, const std::string& CC, const std::string& bcc,
                         const std::string& Attachement);

// "Zandrex v" + major + "." + minor (no padding), + " Error report" for the error window's link.
std::string mailSubject(int major, int minor, bool errorReport);

// The About window's version line: msgVersion + major + "." + minor with at least two digits
// ("Version 1.05"). Needs SetLanguageTexts.
std::string aboutVersionText(int major, int minor);

// The message for a shell-execute result code (0, 2, 3, 5, 8, 11, 26, 27, 31); "" for any other
// code, which the desktop passes over in silence.
std::string shellErrorText(int code);

// The shell-execute code nearest to an errno of a failed launch: ENOENT 2, ENOTDIR 3,
// EACCES/EPERM 5, ENOMEM 8, ENOEXEC 11, EBUSY/ETXTBSY 26. Any other failure means no program
// would take the file, so it maps to 31 (no associated application).
int shellCodeForErrno(int errnoValue);

enum class FileManagerCheck { Ok, DriveNotPresent, NoDisk, FileNotFound };

// The check before the file manager opens on pName. The "drive" here is the mount point whose
// file system holds pName (the longest mount point that is a leading part of the path):
// - DriveNotPresent: pName is not absolute ("\\server\share", "C:\..." or relative) or no
//   mount point covers it;
// - NoDisk: the file system at that mount point cannot be asked (statvfs fails);
// - FileNotFound: pName itself does not exist (a folder counts as existing; a dangling
//   symbolic link exists).
FileManagerCheck checkFileManagerPath(const std::string& pName);
// The same against a given list of mount points (the current ones are read from
// /proc/self/mountinfo by the overload above).
FileManagerCheck checkFileManagerPath(const std::string& pName,
                                      const std::vector<std::string>& mountPoints);
// The mount points of the running system; empty when they cannot be read.
std::vector<std::string> currentMountPoints();
// The mount points named by a mountinfo text (fifth field, "\040"-style escapes decoded).
std::vector<std::string> mountPointsFromMountInfo(const std::string& text);

// The message the desktop shows for a failed check (msgDriveNotPresent, msgNoDisk,
// msgFileNotFound; "" for Ok). Needs SetLanguageTexts.
std::string fileManagerMessage(FileManagerCheck result);

} // namespace zandrex
