// The deletion-failure window's content: the list of files the last deletion run could not
// delete, and its count line.
#pragma once

#include "grid/report_grid.h"

#include <string>

namespace zandrex {

namespace failcol {
constexpr int kPath = 0;
constexpr int kFile = 1;
constexpr int kSize = 2;
constexpr int kDate = 3;
constexpr int kReason = 4; // why it was not deleted
constexpr int kCount = 5;
} // namespace failcol

class Form3Core {
public:
  // Adds the columns "Path", "File", "Size", "Date" and "Reason".
  Form3Core();
  // Adds one failure; items in column order pPatn, pFileName, pSize, pDate, reason. The rows are
  // not rebuilt here.
  void AddRecord(const std::string& pPatn, const std::string& pFileName, const std::string& pDate,
                 const std::string& pSize, const std::string& reason = {});
  // Records the name as found on disk for the failure added last (the list shows the
  // lower-case name).
  void setLastDiskName(std::string_view diskName);
  // The failed file's real path: folder + the name as found on disk.
  std::string fullPath(RecordId record) const;

  ReportGrid ReportControl1;
  // "Deletion failed for N file(s)" once a run has failures; "0 files" by design.
  std::string lbFilesCount = "0 files";
};

// "Deletion failed for N file(s)".
std::string failureCountText(std::size_t count);

} // namespace zandrex
