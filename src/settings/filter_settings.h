// The find's filter as the desktop keeps it between runs: section "Filters", key "MinimumSize"
// (bytes as decimal text, "0" for none) and key "Exclude" (the name patterns, one a line).
#pragma once

#include "settings/settings_store.h"
#include "walk/scan_filter.h"

namespace zandrex {

inline constexpr const char* kFilterSection = "Filters";
inline constexpr const char* kMinimumSizeKey = "MinimumSize";
inline constexpr const char* kExcludeKey = "Exclude";

// The stored filter; absent keys leave nothing out. A stored size that parseSizeText cannot read
// counts as none, and a stored pattern that cannot be used (patternProblem, such as an empty
// line) is dropped: a damaged setting leaves out less, never more.
ScanFilter loadFilter(SettingsStore& store);
void saveFilter(SettingsStore& store, const ScanFilter& filter);

} // namespace zandrex
