// Byte-for-byte comparison of two open files, streaming: the final proof that a kept copy still
// holds what the file about to be deleted holds.
#pragma once

#include <functional>

namespace zandrex {

enum class CompareOutcome {
  Same,
  Differs,
  KeptUnreadable, // a read of the kept file failed
  FileUnreadable, // a read of the file to delete failed
  Stopped         // keepGoing said no
};

// Compares keptFd and fileFd from their current offsets to their ends, in blocks; keepGoing is
// called before every block (to let events run and to learn of a cancel), so comparing two big
// files never holds the caller for long.
CompareOutcome compareOpenFiles(int keptFd, int fileFd, const std::function<bool()>& keepGoing);

} // namespace zandrex
