#include "settings/filter_settings.h"

namespace zandrex {

namespace {
constexpr char kPatternEnd = '\n';
} // namespace

ScanFilter loadFilter(SettingsStore& store) {
  ScanFilter filter;
  filter.minSize =
      parseSizeText(store.GetSetting(kAppTitle, kFilterSection, kMinimumSizeKey, "0")).value_or(0);
  const std::string patterns = store.GetSetting(kAppTitle, kFilterSection, kExcludeKey, "");
  for (std::size_t from = 0; from < patterns.size();) {
    std::size_t end = patterns.find(kPatternEnd, from);
    if (end == std::string::npos)
      end = patterns.size();
    std::string pattern = patterns.substr(from, end - from);
    from = end + 1;
    if (patternProblem(pattern).empty())
      filter.excludedNames.push_back(std::move(pattern));
  }
  return filter;
}

void saveFilter(SettingsStore& store, const ScanFilter& filter) {
  store.SaveSetting(kAppTitle, kFilterSection, kMinimumSizeKey, std::to_string(filter.minSize));
  std::string patterns;
  for (const std::string& pattern : filter.excludedNames) {
    if (!patterns.empty())
      patterns += kPatternEnd;
    patterns += pattern;
  }
  store.SaveSetting(kAppTitle, kFilterSection, kExcludeKey, patterns);
}

} // namespace zandrex
