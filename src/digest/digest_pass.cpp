#include "digest/digest_pass.h"

#include "digest/content_digest.h"
#include "digest/hash_ahead.h"
#include "errors/err_trap.h"
#include "grid/file_identity.h"
#include "grid/file_record.h"

namespace zandrex {

std::string changedFilesNote(std::size_t count) {
  return std::to_string(count) + (count == 1 ? " file" : " files") +
         " changed during the find and " + (count == 1 ? "was" : "were") + " left out";
}

DigestOutcome digestListed(ReportGrid& grid, const FoundTree& found, const PassHooks& hooks) {
  return trapInner("Form1.CheckCRC", [&] {
    const std::size_t rows = grid.rowCount();
    // The names sit in the grid's pool, which only grows during this pass.
    PodArray<HashAhead::File> files;
    for (std::size_t i = 0; i < rows; ++i) {
      RecordId record = grid.row(i).record;
      if (record == kNoRecord)
        continue;
      std::string_view name = grid.diskName(record);
      const FileFacts facts = grid.facts(record);
      files.push_back({name.empty() ? grid.item(record, col::kFile).asText() : name, facts.folder,
                       identityOf(facts), facts.size, facts.mtimeSec, facts.mtimeNsec});
    }
    // A source swapped since the walk leaves every file out rather than read another tree.
    const std::optional<SourceAnchor> source = found.reopenSource();
    HashAhead ahead(source ? source->fd() : -1, found.folders, std::move(files));

    DigestOutcome outcome;
    std::size_t taken = 0;
    for (std::size_t i = 0; i < rows; ++i) {
      hooks.letEventsRun();
      if (hooks.cancelled()) {
        outcome.cancelled = true;
        return outcome;
      }
      hooks.step();
      const GridRow& row = grid.row(i);
      if (row.isGroup())
        continue;
      CurrentReadFile() = fullPathOf(grid, row.record);
      std::optional<HashAhead::Taken> result =
          ahead.take(taken++, hooks.whileWaiting, hooks.cancelled);
      // A cancel while waiting ends the pass as at the next row.
      if (!result) {
        outcome.cancelled = true;
        return outcome;
      }
      if (result->changed) {
        grid.removeAt(grid.recordIndex(row.record));
        ++outcome.changed;
        continue;
      }
      const auto size = static_cast<std::uint64_t>(grid.item(row.record, col::kSize).asNumber());
      grid.setItem(row.record, col::kChecksum, GridValue::text(checksumText(result->digest.crc)));
      grid.setItem(row.record, col::kContent, GridValue::text(contentKey(size, result->digest)));
      ++outcome.digested;
    }
    return outcome;
  });
}

} // namespace zandrex
