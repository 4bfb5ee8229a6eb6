// The content checksum pass: reads every listed file once and writes its checksum text and
// content key into the record.
#include "dupes/binary_file_stream.h"
#include "dupes/content_digest.h"
#include "errors/err_trap.h"
#include "form1/form1_core.h"

namespace zandrex {

namespace {
// Larger than the stream's 8 KiB contract block: fewer system calls, same bytes.
constexpr std::size_t kReadBlock = 128 * 1024;
} // namespace

void Form1Core::CheckCRC() {
  trapInner("Form1.CheckCRC", [&] {
    const std::size_t rows = ReportControl1.rowCount();
    std::int32_t count = 0;
    readBuffer_.resize(kReadBlock);
    for (std::size_t i = 0; i < rows; ++i) {
      view_.doEvents();
      if (CancelRequested != 0)
        return;
      addProgress(1);
      const GridRow& row = ReportControl1.row(i);
      if (row.isGroup())
        continue;
      std::string path = fullPath(row.record);
      CurrentReadFile() = path;
      cBinaryFileStream reader;
      reader.file(path);
      ContentDigest digest = digestStream(reader, readBuffer_);
      auto size = static_cast<std::uint64_t>(ReportControl1.item(row.record, col::kSize).asNumber());
      ReportControl1.setItem(row.record, col::kChecksum, GridValue::text(checksumText(digest.crc)));
      ReportControl1.setItem(row.record, col::kContent, GridValue::text(contentKey(size, digest)));
      ++count;
    }
    setStatusText(filesText(count));
  });
}

} // namespace zandrex
