#include "settings/protected_folder_settings.h"

#include <algorithm>

namespace zandrex {

namespace {

constexpr const char* kSection = "Protected";
constexpr const char* kCountKey = "Count";
constexpr const char* kFolderKeyPrefix = "Folder";

std::string folderKey(int index) {
  return kFolderKeyPrefix + std::to_string(index + 1);
}

} // namespace

std::vector<std::string> loadProtectedFolders(SettingsStore& store) {
  std::vector<std::string> folders;
  const std::optional<short> count =
      toInteger16(store.GetSetting(kAppTitle, kSection, kCountKey, "0"));
  if (!count || *count < 0 || *count > kMostProtectedFolders)
    return folders;
  for (int k = 0; k < *count; ++k) {
    std::string folder = store.GetSetting(kAppTitle, kSection, folderKey(k), "");
    if (!folder.empty())
      folders.push_back(std::move(folder));
  }
  return folders;
}

void saveProtectedFolders(SettingsStore& store, const std::vector<std::string>& folders) {
  const int count = static_cast<int>(std::min<std::size_t>(folders.size(), kMostProtectedFolders));
  for (int k = 0; k < count; ++k)
    store.SaveSetting(kAppTitle, kSection, folderKey(k), folders[static_cast<std::size_t>(k)]);
  store.SaveSetting(kAppTitle, kSection, kCountKey, std::to_string(count));
}

} // namespace zandrex
