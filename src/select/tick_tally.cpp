#include "select/tick_tally.h"

#include "select/group_stats.h"

#include <algorithm>
#include <tuple>

namespace zandrex {

namespace {

template <typename Count> void countChange(Count& count, bool up) {
  if (up)
    ++count;
  else
    --count;
}

} // namespace

TickTally::~TickTally() {
  unfollow();
}

void TickTally::follow(ReportGrid& grid) {
  unfollow();
  followed_ = &grid;
  grid.onTickChanged = [this](RecordId record, bool ticked) { tickChanged(record, ticked); };
  recount(grid);
}

void TickTally::unfollow() {
  if (followed_)
    followed_->onTickChanged = nullptr;
  followed_ = nullptr;
}

void TickTally::recount(const ReportGrid& grid) {
  grid_ = &grid;
  const std::size_t rows = grid.rowCount();
  RecordId highest = 0;
  for (std::size_t i = 0; i < rows; ++i)
    highest = grid.row(i).isGroup() ? highest : std::max(highest, grid.row(i).record + 1);
  recordGroup_.assign(highest, kNotListed);
  groupFiles_.clear();
  groupTicked_.clear();
  ticked_ = 0;
  groupsAllTicked_ = 0;
  std::uint32_t group = kNoGroup;
  for (std::size_t i = 0; i < rows; ++i) {
    const GridRow& row = grid.row(i);
    if (row.isGroup()) {
      group = static_cast<std::uint32_t>(groupFiles_.size());
      groupFiles_.push_back(row.childCount);
      groupTicked_.push_back(0);
      continue;
    }
    recordGroup_[row.record] = group;
    if (!grid.ticked(row.record))
      continue;
    ++ticked_;
    if (group != kNoGroup && goesWhenTicked(row.record))
      ++groupTicked_[group];
  }
  for (std::size_t g = 0; g < groupFiles_.size(); ++g)
    groupsAllTicked_ += allTicked(g) ? 1 : 0;
  identitiesKnown_ = false;
  recordFile_.clear();
  fileSize_.clear();
  fileNames_.clear();
  fileTicked_.clear();
  bytesToFree_ = 0;
  if (ticked_ > 0)
    learnIdentities();
}

void TickTally::learnIdentities() {
  identitiesKnown_ = true;
  struct Name {
    std::uint64_t device;
    std::uint64_t inode;
    RecordId record;
  };
  std::vector<Name> names;
  for (RecordId record = 0; record < recordGroup_.size(); ++record) {
    if (recordGroup_[record] == kNotListed)
      continue;
    const FileFacts facts = grid_->facts(record);
    names.push_back({facts.device, facts.inode, record});
  }
  std::sort(names.begin(), names.end(), [](const Name& a, const Name& b) {
    return std::tie(a.device, a.inode, a.record) < std::tie(b.device, b.inode, b.record);
  });
  recordFile_.assign(recordGroup_.size(), kNotListed);
  for (std::size_t n = 0; n < names.size(); ++n) {
    const Name& name = names[n];
    // Without an identity (inode 0) a record is a file of its own.
    const bool sameFile = n > 0 && name.inode != 0 && names[n - 1].inode == name.inode &&
                          names[n - 1].device == name.device;
    if (!sameFile) {
      fileSize_.push_back(grid_->facts(name.record).size);
      fileNames_.push_back(0);
      fileTicked_.push_back(0);
    }
    const std::size_t file = fileSize_.size() - 1;
    recordFile_[name.record] = static_cast<std::uint32_t>(file);
    ++fileNames_[file];
    fileTicked_[file] += grid_->ticked(name.record) && goesWhenTicked(name.record) ? 1 : 0;
  }
  bytesToFree_ = 0;
  for (std::size_t file = 0; file < fileSize_.size(); ++file)
    bytesToFree_ += fileTicked_[file] == fileNames_[file] ? fileSize_[file] : 0;
}

void TickTally::tickChanged(RecordId record, bool ticked) {
  if (record >= recordGroup_.size() || recordGroup_[record] == kNotListed)
    return;
  const std::uint32_t group = recordGroup_[record];
  const bool goes = goesWhenTicked(record);
  if (group != kNoGroup && goes) {
    const bool wasAll = allTicked(group);
    countChange(groupTicked_[group], ticked);
    const bool isAll = allTicked(group);
    groupsAllTicked_ += isAll && !wasAll ? 1 : 0;
    groupsAllTicked_ -= wasAll && !isAll ? 1 : 0;
  }
  countChange(ticked_, ticked);
  if (!identitiesKnown_) {
    // The grid already holds this tick: the first count takes it in.
    learnIdentities();
    return;
  }
  if (!goes)
    return;
  const std::uint32_t file = recordFile_[record];
  const bool wasFreed = fileTicked_[file] == fileNames_[file];
  countChange(fileTicked_[file], ticked);
  const bool isFreed = fileTicked_[file] == fileNames_[file];
  if (isFreed && !wasFreed)
    bytesToFree_ += fileSize_[file];
  if (wasFreed && !isFreed)
    bytesToFree_ -= fileSize_[file];
}

std::string tallyText(const TickTally& tally) {
  return withThousands(tally.ticked()) + " ticked \u00b7 " + formatBytes(tally.bytesToFree()) +
         " to free";
}

std::string allTickedText(std::uint64_t groups) {
  if (groups == 0)
    return {};
  return "\u00b7 " + withThousands(groups) + (groups == 1 ? " group" : " groups") +
         " with all copies ticked";
}

} // namespace zandrex
