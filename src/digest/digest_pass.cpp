#include "digest/digest_pass.h"

#include "digest/content_digest.h"
#include "digest/edge_sift.h"
#include "digest/hash_ahead.h"
#include "errors/err_trap.h"
#include "grid/file_identity.h"
#include "grid/file_record.h"

namespace zandrex {

std::string changedFilesNote(std::size_t count) {
  return std::to_string(count) + (count == 1 ? " file" : " files") +
         " changed during the find and " + (count == 1 ? "was" : "were") + " left out";
}

namespace {

constexpr std::uint32_t kUngrouped = UINT32_MAX;

// The files under the rows as last built, and the size group of each.
void listFiles(const ReportGrid& grid, PodArray<HashAhead::File>& files,
               PodArray<std::uint32_t>& groupOf) {
  std::uint32_t group = kUngrouped;
  for (std::size_t i = 0; i < grid.rowCount(); ++i) {
    const GridRow& row = grid.row(i);
    if (row.isGroup()) {
      group = group == kUngrouped ? 0 : group + 1;
      continue;
    }
    if (row.record == kNoRecord)
      continue;
    std::string_view name = grid.diskName(row.record);
    const FileFacts facts = grid.facts(row.record);
    files.push_back({name.empty() ? grid.item(row.record, col::kFile).asText() : name, facts.folder,
                     identityOf(facts), facts.size, facts.mtimeSec, facts.mtimeNsec});
    groupOf.push_back(group);
  }
}

} // namespace

DigestOutcome digestListed(ReportGrid& grid, const FoundTree& found, const PassHooks& hooks) {
  return trapInner("Form1.CheckCRC", [&] {
    const std::size_t rows = grid.rowCount();
    // The names sit in the grid's pool, which only grows during this pass.
    PodArray<HashAhead::File> listed;
    PodArray<std::uint32_t> groupOf;
    listFiles(grid, listed, groupOf);
    // A source swapped since the walk leaves every file out rather than read another tree.
    const std::optional<SourceAnchor> source = found.reopenSource();
    const int sourceFd = source ? source->fd() : -1;

    DigestOutcome outcome;
    const std::optional<PodArray<std::uint8_t>> unique = siftByEdges(
        sourceFd, found.folders, listed, groupOf, {hooks.whileWaiting, hooks.cancelled});
    if (!unique) {
      outcome.cancelled = true;
      return outcome;
    }
    PodArray<HashAhead::File> toRead;
    for (std::size_t i = 0; i < listed.size(); ++i) {
      if (!(*unique)[i])
        toRead.push_back(listed[i]);
    }
    HashAhead ahead(sourceFd, found.folders, std::move(toRead));

    std::size_t listedIndex = 0;
    std::size_t taken = 0;
    for (std::size_t i = 0; i < rows; ++i) {
      hooks.letEventsRun();
      if (hooks.cancelled()) {
        outcome.cancelled = true;
        return outcome;
      }
      hooks.step();
      const GridRow& row = grid.row(i);
      if (row.isGroup() || row.record == kNoRecord)
        continue;
      // Its edges match no file of its size: it cannot have a twin, and would only be pruned
      // after the regrouping.
      if ((*unique)[listedIndex++]) {
        grid.removeAt(grid.recordIndex(row.record));
        continue;
      }
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
