// The protected folders as the settings store keeps them: section "Protected", key "Count" and
// one key per folder, "Folder1" to "FolderN", each a folder path as the user chose it. A path is
// bytes, and a store may keep only text: each byte that is not part of valid UTF-8, and each "%",
// is stored as "%" and two hex digits, so that every folder comes back as the very same bytes.
#pragma once

#include "settings/settings_store.h"

#include <string>
#include <vector>

namespace zandrex {

// The stored folders in their order. A count that is not a whole number from 0 to
// kMostProtectedFolders reads as none; empty entries are left out.
std::vector<std::string> loadProtectedFolders(SettingsStore& store);
// Replaces the stored list. Keys of a longer list saved before stay, unread, past the count.
void saveProtectedFolders(SettingsStore& store, const std::vector<std::string>& folders);

// More than this many folders are not stored (a hand-edited count must not make the load spin).
inline constexpr int kMostProtectedFolders = 1000;

} // namespace zandrex
