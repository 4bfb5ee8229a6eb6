#include "select/selection_helpers.h"

#include "select/group_stats.h"
#include "source/protected_folders.h"
#include "select/tick_verifier.h"

#include <algorithm>
#include <tuple>
#include <utility>
#include <vector>

namespace zandrex {

namespace {

struct Candidate {
  RecordId record = kNoRecord;
  std::int64_t sec = 0;
  std::int64_t nsec = 0;
  // Built only when the rule or a tie needs it: a path per file is most of a million-file pass.
  std::string path;
  bool hasPath = false;
  bool isProtected = false;
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

bool isProtected(const ProtectedMarks* protectedFiles, const ReportGrid& grid, RecordId record) {
  return protectedFiles && protectedFiles->file(grid, record);
}

// The same from facts already read: a second read per file is a tenth of a million-file pass.
bool isProtected(const ProtectedMarks* protectedFiles, const FileFacts& facts) {
  return protectedFiles && protectedFiles->folder(facts.folder);
}

// The record the rule keeps among the files of the group row at position, a protected one when
// the group has any; tied says whether equal times or lengths were broken by path order.
RecordId keptOf(const ReportGrid& grid, std::size_t position, KeepRule rule, const PathOf& pathOf,
                const ProtectedMarks* protectedFiles, bool& tied) {
  Candidate best;
  Candidate current;
  tied = false;
  const bool pathsAlways = rule == KeepRule::First || rule == KeepRule::Shortest;
  const auto withPath = [&](Candidate& candidate) {
    if (candidate.hasPath)
      return;
    candidate.path = pathOf(candidate.record);
    candidate.hasPath = true;
  };
  for (std::size_t k = 1; k <= grid.row(position).childCount; ++k) {
    RecordId record = grid.row(position + k).record;
    const FileFacts& facts = grid.facts(record);
    current.record = record;
    current.sec = facts.mtimeSec;
    current.nsec = facts.mtimeNsec;
    current.hasPath = false;
    current.isProtected = isProtected(protectedFiles, facts);
    if (pathsAlways)
      withPath(current);
    if (best.record == kNoRecord) {
      std::swap(best, current);
      continue;
    }
    // A protected file stays whatever the rule says; the rule chooses among those alone.
    if (current.isProtected != best.isProtected) {
      if (current.isProtected) {
        std::swap(best, current);
        tied = false;
      }
      continue;
    }
    int order = ruleOrder(rule, current, best);
    if (order == 0 && rule != KeepRule::First) {
      withPath(best);
      withPath(current);
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
  return best.record;
}

SelectionResult cancelledRun() {
  SelectionResult result;
  result.cancelled = true;
  return result;
}

} // namespace

SelectionResult tickAllButOne(ReportGrid& grid, KeepRule rule, const PathOf& pathOf,
                              TickVerifier* verifier, const PassHooks& hooks,
                              const ProtectedMarks* protectedFiles) {
  SelectionResult result;
  // Every group's kept file first: a name in one group may be another name of the file kept in
  // another (groups by name), and deleting it would free nothing either.
  std::vector<RecordId> keptFiles;
  // Sorted (device, inode) pairs: a million lookups in a hash set cost more than the search.
  std::vector<std::pair<std::uint64_t, std::uint64_t>> keptIdentities;
  for (std::size_t i = 0; i < grid.rowCount(); i += 1 + grid.row(i).childCount) {
    if (!grid.row(i).isGroup() || grid.row(i).childCount == 0)
      continue;
    bool tied = false;
    keptFiles.push_back(keptOf(grid, i, rule, pathOf, protectedFiles, tied));
    result.ties += tied ? 1 : 0;
    const FileFacts& facts = grid.facts(keptFiles.back());
    // Records without an identity (inode 0) are no other file's name.
    if (facts.inode != 0)
      keptIdentities.emplace_back(facts.device, facts.inode);
  }
  std::sort(keptIdentities.begin(), keptIdentities.end());
  // The ticks are set only once every group is decided, so that a cancel changes none.
  std::vector<std::pair<RecordId, bool>> ticks;
  ticks.reserve(grid.recordCount());
  std::size_t group = 0;
  for (std::size_t i = 0; i < grid.rowCount(); i += 1 + grid.row(i).childCount) {
    const GridRow& groupRow = grid.row(i);
    if (!groupRow.isGroup() || groupRow.childCount == 0)
      continue;
    const RecordId kept = keptFiles[group++];
    if (verifier)
      verifier->keep(kept);
    for (std::size_t k = 1; k <= groupRow.childCount; ++k) {
      const RecordId record = grid.row(i + k).record;
      if (record == kept) {
        ticks.emplace_back(record, false);
        continue;
      }
      hooks.letEventsRun();
      if (hooks.cancelled())
        return cancelledRun();
      hooks.step();
      const FileFacts& facts = grid.facts(record);
      if (isProtected(protectedFiles, facts)) {
        ++result.protectedLeft;
        ticks.emplace_back(record, false);
        continue;
      }
      if (std::binary_search(keptIdentities.begin(), keptIdentities.end(),
                             std::pair{facts.device, facts.inode})) {
        ++result.hardLinks;
        ticks.emplace_back(record, false);
        continue;
      }
      const TickVerdict verdict = verifier ? verifier->verdict(record) : TickVerdict::SameBytes;
      if (verdict == TickVerdict::Stopped)
        return cancelledRun();
      result.differ += verdict == TickVerdict::Differs ? 1 : 0;
      result.unreadable += verdict == TickVerdict::Unreadable ? 1 : 0;
      const bool tick = verdict == TickVerdict::SameBytes;
      ticks.emplace_back(record, tick);
      result.ticked += tick ? 1 : 0;
    }
    ++result.groups;
  }
  for (const auto& [record, tick] : ticks)
    grid.setTicked(record, tick);
  return result;
}

SelectionResult tickAllButOne(ReportGrid& grid, KeepRule rule, const PathOf& pathOf) {
  return tickAllButOne(grid, rule, pathOf, nullptr, PassHooks{});
}

SelectionResult tickInsideFolder(ReportGrid& grid, const std::string& folder, const PathOf& pathOf,
                                 const ProtectedMarks* protectedFiles) {
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
    if (isProtected(protectedFiles, grid, row.record)) {
      result.protectedLeft += grid.ticked(row.record) ? 0 : 1;
      continue;
    }
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

SelectionResult invertGroup(ReportGrid& grid, std::size_t position,
                            const ProtectedMarks* protectedFiles) {
  SelectionResult result;
  const GridRow& groupRow = grid.row(position);
  if (!groupRow.isGroup())
    return result;
  result.groups = 1;
  for (std::size_t k = 1; k <= groupRow.childCount; ++k) {
    RecordId record = grid.row(position + k).record;
    if (isProtected(protectedFiles, grid, record)) {
      result.protectedLeft += grid.ticked(record) ? 0 : 1;
      continue;
    }
    bool tick = !grid.ticked(record);
    grid.setTicked(record, tick);
    result.ticked += tick ? 1 : 0;
  }
  return result;
}

std::string tickedReport(const SelectionResult& result) {
  if (result.cancelled)
    return "Cancelled: no tick changed";
  std::string text = "Ticked " + plural(result.ticked, "file", "files") + " in " +
                     plural(result.groups, "group", "groups");
  if (result.ties > 0)
    text += "; " + plural(result.ties, "tie", "ties") + " broken by path";
  if (result.differ > 0)
    text += "; " + withThousands(result.differ) +
            " left unticked: " + (result.differ == 1 ? "its" : "their") +
            " bytes differ from the kept copy";
  if (result.unreadable > 0)
    text += "; " + withThousands(result.unreadable) +
            " left unticked: unreadable or changed since the find";
  if (result.hardLinks > 0)
    text += "; " +
            plural(result.hardLinks, "hard link of a kept copy", "hard links of kept copies") +
            " left unticked";
  if (result.protectedLeft > 0)
    text +=
        "; " + plural(result.protectedLeft, "protected file", "protected files") + " left unticked";
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
