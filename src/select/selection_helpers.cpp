#include "select/selection_helpers.h"

#include "select/group_stats.h"

#include <tuple>

namespace zandrex {

namespace {

struct Candidate {
  RecordId record = kNoRecord;
  std::int64_t sec = 0;
  std::int64_t nsec = 0;
  std::string path;
};

// The rule's own measure: negative when a should be kept over b, 0 when they tie.
int ruleOrder(KeepRule rule, const Candidate& a, const Candidate& b) {
  auto cmp = [](auto x, auto y) { return x < y ? -1 : (y < x ? 1 : 0); };
  switch (rule) {
  case KeepRule::Newest:
    return cmp(std::tie(b.sec, b.nsec), std::tie(a.sec, a.nsec));
  case KeepRule::Oldest:
    return cmp(std::tie(a.sec, a.nsec), std::tie(b.sec, b.nsec));
  case KeepRule::Shortest:
    return cmp(a.path.size(), b.path.size());
  case KeepRule::First:
    return 0;
  }
  return 0;
}

std::string plural(std::uint64_t n, const char* one, const char* many) {
  return withThousands(n) + " " + (n == 1 ? one : many);
}

} // namespace

SelectionResult tickAllButOne(ReportGrid& grid, KeepRule rule, const PathOf& pathOf) {
  SelectionResult result;
  Candidate best;
  Candidate current;
  for (std::size_t i = 0; i < grid.rowCount(); ++i) {
    const GridRow& groupRow = grid.row(i);
    if (!groupRow.isGroup() || groupRow.childCount == 0)
      continue;
    bool tied = false;
    best.record = kNoRecord;
    for (std::size_t k = 1; k <= groupRow.childCount; ++k) {
      RecordId record = grid.row(i + k).record;
      const FileFacts& facts = grid.facts(record);
      current.record = record;
      current.sec = facts.mtimeSec;
      current.nsec = facts.mtimeNsec;
      current.path = pathOf(record);
      if (best.record == kNoRecord) {
        std::swap(best, current);
        tied = false;
        continue;
      }
      int order = ruleOrder(rule, current, best);
      if (order == 0 && rule != KeepRule::First) {
        // Keep the best tie-breaker so far; a later, better candidate ends the tie.
        tied = true;
        if (current.path < best.path)
          std::swap(best, current);
        continue;
      }
      if (order < 0 || (order == 0 && current.path < best.path)) {
        std::swap(best, current);
        tied = false;
      }
    }
    for (std::size_t k = 1; k <= groupRow.childCount; ++k) {
      RecordId record = grid.row(i + k).record;
      bool tick = record != best.record;
      grid.setTicked(record, tick);
      result.ticked += tick ? 1 : 0;
    }
    ++result.groups;
    result.ties += tied ? 1 : 0;
    i += groupRow.childCount;
  }
  return result;
}

SelectionResult tickInsideFolder(ReportGrid& grid, const std::string& folder,
                                 const PathOf& pathOf) {
  SelectionResult result;
  std::size_t lastGroup = SIZE_MAX;
  std::size_t currentGroup = SIZE_MAX;
  for (std::size_t i = 0; i < grid.rowCount(); ++i) {
    const GridRow& row = grid.row(i);
    if (row.isGroup()) {
      currentGroup = i;
      continue;
    }
    if (pathOf(row.record).compare(0, folder.size(), folder) != 0)
      continue;
    grid.setTicked(row.record, true);
    ++result.ticked;
    if (currentGroup != lastGroup) {
      ++result.groups;
      lastGroup = currentGroup;
    }
  }
  return result;
}

SelectionResult untickAll(ReportGrid& grid) {
  SelectionResult result;
  for (std::size_t i = 0; i < grid.rowCount(); ++i) {
    const GridRow& row = grid.row(i);
    if (row.isGroup() || !grid.ticked(row.record))
      continue;
    grid.setTicked(row.record, false);
    ++result.ticked;
  }
  return result;
}

SelectionResult invertGroup(ReportGrid& grid, std::size_t position) {
  SelectionResult result;
  const GridRow& groupRow = grid.row(position);
  if (!groupRow.isGroup())
    return result;
  result.groups = 1;
  for (std::size_t k = 1; k <= groupRow.childCount; ++k) {
    RecordId record = grid.row(position + k).record;
    bool tick = !grid.ticked(record);
    grid.setTicked(record, tick);
    result.ticked += tick ? 1 : 0;
  }
  return result;
}

std::string tickedReport(const SelectionResult& result) {
  std::string text = "Ticked " + plural(result.ticked, "file", "files") + " in " +
                     plural(result.groups, "group", "groups");
  if (result.ties > 0)
    text += "; " + plural(result.ties, "tie", "ties") + " broken by path";
  return text;
}

std::string untickedReport(const SelectionResult& result) {
  return "Unticked " + plural(result.ticked, "file", "files");
}

bool keepRuleFromName(const std::string& name, KeepRule& rule) {
  static constexpr std::pair<const char*, KeepRule> kNames[] = {{"newest", KeepRule::Newest},
                                                                {"oldest", KeepRule::Oldest},
                                                                {"first", KeepRule::First},
                                                                {"shortest", KeepRule::Shortest}};
  for (const auto& [text, value] : kNames) {
    if (name == text) {
      rule = value;
      return true;
    }
  }
  return false;
}

} // namespace zandrex
