// A running count of the ticks over the built rows: how many files are ticked, the space
// deleting them would free, and the groups whose every file is ticked (deleting those leaves no
// copy of their content).
//
// recount() reads the rows after each rebuild (O(n)); from then on tickChanged() keeps every
// figure current in O(1) per changed tick, so a helper over a million files costs no more than
// its own pass, and a group's "all ticked" state is known without looking at its files.
//
// The space rule: a file's bytes are freed only when every listed name of it is ticked, names
// being told apart by device and inode wherever they are listed. Ticking one of two listed names
// of a file (hard links) frees nothing; ticking both frees its size once. Names of the file that
// are not listed (outside the searched folder) also keep it, which the list cannot know: the
// figure is the most the deletion can free. A record without an identity (inode 0) counts as a
// file of its own. The identities are sorted out when the first tick needs them (O(n log n),
// once per rebuild): after a find nothing is ticked, and most rebuilds need none.
//
// A file the guard keeps whatever its tick (one in a protected folder, ticked by hand) counts as
// ticked but frees nothing, and its group never has every copy ticked: that copy stays.
#pragma once

#include "grid/report_grid.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace zandrex {

class TickTally {
public:
  TickTally() = default;
  ~TickTally();
  TickTally(const TickTally&) = delete;
  TickTally& operator=(const TickTally&) = delete;

  // Makes grid report every tick change here (its onTickChanged, taken over) and recounts.
  // grid must outlive the following, which ends with unfollow() or this object's end.
  void follow(ReportGrid& grid);
  void unfollow();
  // Which records the guard keeps even when ticked; none unless set. Takes effect at the next
  // recount.
  void setKeptTest(std::function<bool(RecordId)> test) { keptTest_ = std::move(test); }

  // Counts afresh from grid's rows (grid must stay alive until the next recount); call after
  // every rebuild of the rows. Files in no row (removed, or before the first rebuild) count for
  // nothing.
  void recount(const ReportGrid& grid);
  // One record's tick changed to ticked (the grid's flag already holds it). Ignored for records
  // in no row; a call that repeats the state a record already has would count it twice.
  void tickChanged(RecordId record, bool ticked);

  std::uint64_t ticked() const { return ticked_; }
  std::uint64_t bytesToFree() const { return bytesToFree_; }
  // Groups with at least one file, every one of them ticked.
  std::uint64_t groupsAllTicked() const { return groupsAllTicked_; }
  // True when the group with this ordinal (its group row's place among the group rows) has files
  // and every one is ticked; false for an ordinal out of range.
  bool allTicked(std::size_t group) const {
    return group < groupFiles_.size() && groupFiles_[group] > 0 &&
           groupTicked_[group] == groupFiles_[group];
  }

private:
  // False for a record the guard keeps: its tick counts as a tick, never as a copy that goes.
  bool goesWhenTicked(RecordId record) const { return !keptTest_ || !keptTest_(record); }
  // Sorts the listed records by identity and counts each file's listed and ticked names.
  void learnIdentities();

  static constexpr std::uint32_t kNotListed = UINT32_MAX;
  static constexpr std::uint32_t kNoGroup = UINT32_MAX - 1;

  ReportGrid* followed_ = nullptr;
  const ReportGrid* grid_ = nullptr;
  std::function<bool(RecordId)> keptTest_;
  // By record id: the ordinal of its group (kNoGroup for rows without groups), kNotListed for a
  // record in no row.
  std::vector<std::uint32_t> recordGroup_;
  std::vector<std::uint32_t> groupFiles_;
  std::vector<std::uint32_t> groupTicked_;
  std::uint64_t ticked_ = 0;
  std::uint64_t groupsAllTicked_ = 0;
  // Worked out on first need: by record id, its file's ordinal; per file, its size and its
  // listed and ticked names.
  bool identitiesKnown_ = false;
  std::vector<std::uint32_t> recordFile_;
  std::vector<std::uint64_t> fileSize_;
  std::vector<std::uint32_t> fileNames_;
  std::vector<std::uint32_t> fileTicked_;
  std::uint64_t bytesToFree_ = 0;
};

// The status bar's tally: "3 ticked · 1.2 MB to free".
std::string tallyText(const TickTally& tally);
// "· 2 groups with all copies ticked" ("1 group"); "" for none.
std::string allTickedText(std::uint64_t groups);
// Added to the heading of a group whose every file is ticked.
inline constexpr const char* kAllCopiesTickedMark = " \u2014 all copies ticked";

} // namespace zandrex
