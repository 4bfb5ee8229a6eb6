// The proof a keep-one helper needs before it ticks a file of a group found by name, by size or
// by name and size: that the file holds the very bytes of the copy the helper keeps. Such a group
// is only a candidate; equal names or sizes say nothing of the content. (By content the find's
// digests are the proof, and no verifier is needed.)
//
// Sizes are compared first, from what the find saw. The bytes are then compared through two open
// files reached the find's way: each folder descended to from the searched folder, never through
// a link, and each file opened in its folder must still be a regular file and the very file the
// find saw (device, inode, size and modification time to the nanosecond).
#pragma once

#include "grid/report_grid.h"
#include "platform/anchored_tree.h"

#include <functional>
#include <optional>

namespace zandrex {

enum class TickVerdict {
  SameBytes,  // a copy of the kept file: may be ticked
  Differs,    // another size or other bytes
  Unreadable, // it or the kept file could not be reached or read, or is not the file found
  Stopped     // keepGoing said no during the compare
};

class TickVerifier {
public:
  // grid and found must outlive the verifier and stay unchanged while it is used. keepGoing is
  // called before every block compared (to let events run and to learn of a cancel).
  TickVerifier(const ReportGrid& grid, const FoundTree& found, std::function<bool()> keepGoing);

  // The file the next verdicts compare with. It is opened on the first verdict that reads and
  // held open until the next keep().
  void keep(RecordId kept);
  // Whether candidate holds the bytes of the kept file. Another name of the kept file (a hard
  // link) compares equal: the caller tells those apart beforehand.
  TickVerdict verdict(RecordId candidate);

private:
  // record's file, open, when it is still the file the find saw; invalid otherwise.
  UniqueFd openAsFound(RecordId record);

  const ReportGrid& grid_;
  const FolderTable& folders_;
  std::function<bool()> keepGoing_;
  std::optional<SourceAnchor> source_;
  std::optional<FolderResolver> resolver_;
  RecordId kept_ = kNoRecord;
  UniqueFd keptFd_;
  bool keptOpened_ = false;
};

} // namespace zandrex
