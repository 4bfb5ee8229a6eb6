// The content checksum pass: every listed file is read once, and its checksum text and content
// key are written into its record.
#include "dupes/content_digest.h"
#include "dupes/hash_ahead.h"
#include "errors/err_trap.h"
#include "form1/form1_core.h"

namespace zandrex {

void Form1Core::CheckCRC() {
  trapInner("Form1.CheckCRC", [&] {
    const std::size_t rows = ReportControl1.rowCount();
    // The folder and name texts sit in the grid's pool, which only grows during this pass.
    PodArray<HashAhead::File> files;
    for (std::size_t i = 0; i < rows; ++i) {
      RecordId record = ReportControl1.row(i).record;
      if (record == kNoRecord)
        continue;
      std::string_view name = ReportControl1.diskName(record);
      files.push_back({ReportControl1.item(record, col::kPath).asText(),
                       name.empty() ? ReportControl1.item(record, col::kFile).asText() : name,
                       ReportControl1.facts(record).inode, ReportControl1.facts(record).size});
    }
    HashAhead ahead(std::move(files));

    std::int32_t count = 0;
    for (std::size_t i = 0; i < rows; ++i) {
      view_.doEvents();
      if (CancelRequested != 0)
        return;
      addProgress(1);
      const GridRow& row = ReportControl1.row(i);
      if (row.isGroup())
        continue;
      CurrentReadFile() = ahead.path(static_cast<std::size_t>(count));
      std::optional<ContentDigest> digest = ahead.take(
          static_cast<std::size_t>(count), [&] { view_.doEventsWhileWaiting(); },
          [&] { return CancelRequested != 0; });
      // A cancel while waiting ends the pass as at the next row: the records go anyway.
      if (!digest)
        return;
      auto size =
          static_cast<std::uint64_t>(ReportControl1.item(row.record, col::kSize).asNumber());
      ReportControl1.setItem(row.record, col::kChecksum,
                             GridValue::text(checksumText(digest->crc)));
      ReportControl1.setItem(row.record, col::kContent, GridValue::text(contentKey(size, *digest)));
      ++count;
    }
    setStatusText(filesText(count));
  });
}

} // namespace zandrex
