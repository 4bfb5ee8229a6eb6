// The content pass: every listed file is read once, through the found tree's anchored handles,
// and its checksum text and content key are written into its record.
#pragma once

#include "common/pass_hooks.h"
#include "digest/digest_cache.h"
#include "grid/report_grid.h"
#include "platform/anchored_tree.h"

#include <cstddef>
#include <cstdint>

namespace zandrex {

// How far the pass is, as plain numbers brought up to date on the pass's own thread just before
// it lets events run: whoever looks then reads them there. A listed file is done once the edge
// sift cleared it or a worker digested it, found it changed or had it answered by the cache.
// The bytes counted are those of the files left to read after the sift, each block as a worker
// reads it; a file done without being read whole counts the rest of its size then, so the bytes
// done end at the total. The sift's few edge bytes are not counted.
struct ReadProgress {
  enum class Stage : std::uint8_t { Recalling, Sifting, Reading };
  Stage stage = Stage::Recalling;
  std::uint64_t filesDone = 0;
  std::uint64_t filesTotal = 0;
  std::uint64_t bytesDone = 0;
  // Known once the sift has decided; 0 before.
  std::uint64_t bytesTotal = 0;
  // The file being read (of several, the one begun first); kNoRecord before the first and once
  // the pass has ended.
  RecordId file = kNoRecord;
};

struct DigestOutcome {
  bool cancelled = false;
  std::int32_t digested = 0;
  // Files left out because they changed while the find ran (their records are removed).
  std::size_t changed = 0;
};

// Walks the rows as last built (grouped by size); for each file row writes the checksum (column
// "Checksum") and the content key (hidden column "Content"), or removes the record of a file that
// changed since the walk, or of one whose first and last blocks no other file of its size shares
// (it cannot have a twin; only big files are sifted so). Events run before every row; a cancel
// stops the pass before the next row. A file that cannot be read raises its error, the file's path
// noted as the last file read.
// With the memory's choice enabled, digests are recalled from and remembered in the digest cache
// (digest/digest_cache.h), on file systems that keep lasting inode numbers; what was read is
// remembered after a cancel too, but not after an error, and written while the caller goes on
// (memory waits for that write before the next recall). A cache that cannot be used is bypassed.
DigestOutcome digestListed(ReportGrid& grid, const FoundTree& found, const PassHooks& hooks,
                           DigestMemory& memory);
// The same, keeping progress up to date (it is reset first), with readers files read at once (0:
// as many as suit the disk the source is on, readersFor()).
DigestOutcome digestListed(ReportGrid& grid, const FoundTree& found, const PassHooks& hooks,
                           DigestMemory& memory, ReadProgress& progress, unsigned readers = 0);
// The same with the cache at its default place, written before returning.
DigestOutcome digestListed(ReportGrid& grid, const FoundTree& found, const PassHooks& hooks);

// "3 files changed during the find and were left out".
std::string changedFilesNote(std::size_t count);

} // namespace zandrex
