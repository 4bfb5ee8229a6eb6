// Shell-style patterns matched against one name (not a path).
#pragma once

namespace zandrex {

// True when name matches the glob pattern ("*", "?", "[...]" and "\" escapes, as the shell has
// them), case-sensitively; "*" and "?" also match a leading dot. A pattern holding "/" can match
// no name.
bool nameMatchesPattern(const char* pattern, const char* name);

} // namespace zandrex
