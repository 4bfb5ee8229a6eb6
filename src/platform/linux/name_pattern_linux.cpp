#include "platform/name_pattern.h"

#include <fnmatch.h>

namespace zandrex {

bool nameMatchesPattern(const char* pattern, const char* name) {
  return ::fnmatch(pattern, name, 0) == 0;
}

} // namespace zandrex
