// Two ways to keep every name of a set of copies while their bytes are stored once: the copy's
// name becomes a hard link of the kept file, or the file system shares the two files' extents
// after comparing them itself. Both work on handles: folders opened and checked by the caller,
// files open.
#pragma once

#include "platform/file_identity.h"

#include <cstdint>
#include <functional>

namespace zandrex {

enum class ShareOutcome {
  Done,
  KeptReplaced, // the kept name no longer is the kept file
  Differs,      // the file system found other bytes
  NotSupported, // the file system cannot share extents
  Stopped,      // keepGoing said no
  Failed,       // the system refused: error says why
};

struct ShareResult {
  ShareOutcome outcome = ShareOutcome::Done;
  int error = 0;
};

// Makes name in folderFd a hard link of keptName in keptFolderFd, the file with identity kept:
// the link is made under a fresh temporary name in folderFd, checked to be the kept file, and
// renamed over name, so that name is never missing. On any failure the temporary name is
// removed and name is left as it was. Two folders on different file systems fail with EXDEV.
ShareResult replaceWithHardLink(int keptFolderFd, const char* keptName, FileIdentity kept,
                                int folderFd, const char* name);

// Asks the file system to store the first length bytes of fileFd as those of keptFd, which it
// does only where it finds them equal (FIDEDUPERANGE), in ranges up to the kernel's per-call
// limit; a range the kernel takes only in part goes on from where it stopped. keepGoing is asked
// before every range. fileFd may be open for reading only when the user owns the file or may
// write to it. Differs leaves the ranges already shared shared (they held the same bytes).
ShareResult shareExtents(int keptFd, int fileFd, std::uint64_t length,
                         const std::function<bool()>& keepGoing);

} // namespace zandrex
