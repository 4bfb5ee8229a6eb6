// The files the last deletion run (or trash or link run) could not reclaim, each with its reason,
// and the title and count line the failure window shows.
#pragma once

#include "delete/reclaim_way.h"
#include "grid/report_grid.h"

#include <string>
#include <string_view>

namespace zandrex {

namespace failcol {
constexpr int kPath = 0;
constexpr int kFile = 1;
constexpr int kSize = 2;
constexpr int kDate = 3;
constexpr int kReason = 4; // why it was not deleted
constexpr int kCount = 5;
} // namespace failcol

class FailureList {
public:
  // Adds the columns "Path", "File", "Size", "Date" and "Reason".
  FailureList();
  // Starts a run's list: no failures, no rows; way sets the title and the count line's words.
  void clear(ReclaimWay way = ReclaimWay::Delete);
  // Adds one failure, in column order; diskName is the name as found on disk when the lower-case
  // name differs. The rows are built by finish().
  void add(const std::string& folder, const std::string& name, const std::string& date,
           const std::string& size, const std::string& reason, std::string_view diskName = {});
  // Builds the rows in the order added and sets the count line.
  void finish();

  const ReportGrid& grid() const { return grid_; }
  ReportGrid& grid() { return grid_; }
  // "Deletion failed for N file(s)" once a run has failures; "0 files" by design before.
  const std::string& countLabel() const { return countLabel_; }
  // "Deletion failure", "Moving to the trash failure" or "Linking failure": the last run's way.
  std::string title() const;
  // The failed file's real path: folder + the name as found on disk.
  std::string fullPath(RecordId record) const;

private:
  ReportGrid grid_;
  std::string countLabel_ = "0 files";
  ReclaimWay way_ = ReclaimWay::Delete;
};

// "Deletion failed for N file(s)" ("Linking failed ..." for a link run).
std::string failureCountText(std::size_t count, ReclaimWay way = ReclaimWay::Delete);

} // namespace zandrex
