// The content checksum pass: every listed file is read once, and its checksum text and content
// key are written into its record. A file that changed while the find ran is left out.
#include "dupes/content_digest.h"
#include "dupes/hash_ahead.h"
#include "errors/err_trap.h"
#include "form1/form1_core.h"

namespace zandrex {

namespace {

std::string changedNote(std::size_t count) {
  return std::to_string(count) + (count == 1 ? " file" : " files") +
         " changed during the find and " + (count == 1 ? "was" : "were") + " left out";
}

} // namespace

void Form1Core::CheckCRC() {
  trapInner("Form1.CheckCRC", [&] {
    const std::size_t rows = ReportControl1.rowCount();
    // The names sit in the grid's pool, which only grows during this pass.
    PodArray<HashAhead::File> files;
    for (std::size_t i = 0; i < rows; ++i) {
      RecordId record = ReportControl1.row(i).record;
      if (record == kNoRecord)
        continue;
      std::string_view name = ReportControl1.diskName(record);
      const FileFacts facts = ReportControl1.facts(record);
      files.push_back({name.empty() ? ReportControl1.item(record, col::kFile).asText() : name,
                       facts.folder, identityOf(facts), facts.size, facts.mtimeSec,
                       facts.mtimeNsec});
    }
    // The source is reached again, by its real path, and must still be the folder walked: a
    // source swapped since leaves every file out rather than read another tree.
    std::optional<SourceAnchor> source = SourceAnchor::reopen(sourceRealPath_, sourceIdentity_);
    const int sourceFd = source ? source->fd() : -1;
    HashAhead ahead(sourceFd, folders_, std::move(files));

    std::int32_t count = 0;
    std::size_t taken = 0;
    std::size_t changed = 0;
    for (std::size_t i = 0; i < rows; ++i) {
      view_.doEvents();
      if (CancelRequested != 0)
        return;
      addProgress(1);
      const GridRow& row = ReportControl1.row(i);
      if (row.isGroup())
        continue;
      CurrentReadFile() = fullPath(row.record);
      std::optional<HashAhead::Taken> result = ahead.take(
          taken++, [&] { view_.doEventsWhileWaiting(); }, [&] { return CancelRequested != 0; });
      // A cancel while waiting ends the pass as at the next row: the records go anyway.
      if (!result)
        return;
      if (result->changed) {
        ReportControl1.removeAt(ReportControl1.recordIndex(row.record));
        ++changed;
        continue;
      }
      auto size =
          static_cast<std::uint64_t>(ReportControl1.item(row.record, col::kSize).asNumber());
      ReportControl1.setItem(row.record, col::kChecksum,
                             GridValue::text(checksumText(result->digest.crc)));
      ReportControl1.setItem(row.record, col::kContent,
                             GridValue::text(contentKey(size, result->digest)));
      ++count;
    }
    setStatusText(filesText(count));
    if (changed > 0) {
      findNote_ = changedNote(changed);
      view_.findNoteChanged();
    }
  });
}

} // namespace zandrex
