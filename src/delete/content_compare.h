// Byte-for-byte comparison of two files, streaming: the final proof that a kept copy still
// holds what the file about to be deleted holds.
#pragma once

#include <string>

namespace zandrex {

enum class CompareOutcome {
  Same,
  Differs,
  KeptMissing, // the kept file no longer exists or cannot be read
  FileMissing  // the file to delete cannot be read
};

CompareOutcome compareFileContents(const std::string& keptPath, const std::string& filePath);

} // namespace zandrex
