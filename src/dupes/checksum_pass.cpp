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
    std::vector<std::string> paths;
    for (std::size_t i = 0; i < rows; ++i)
      if (!ReportControl1.row(i).isGroup())
        paths.push_back(fullPath(ReportControl1.row(i).record));
    HashAhead ahead(std::move(paths));

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
      ContentDigest digest = ahead.take(static_cast<std::size_t>(count), [&] { view_.doEvents(); });
      auto size =
          static_cast<std::uint64_t>(ReportControl1.item(row.record, col::kSize).asNumber());
      ReportControl1.setItem(row.record, col::kChecksum, GridValue::text(checksumText(digest.crc)));
      ReportControl1.setItem(row.record, col::kContent, GridValue::text(contentKey(size, digest)));
      ++count;
    }
    setStatusText(filesText(count));
  });
}

} // namespace zandrex
