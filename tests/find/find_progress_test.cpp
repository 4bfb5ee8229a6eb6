#include "find/find_progress.h"

#include <gtest/gtest.h>

namespace zandrex::test {
namespace {

constexpr RecordId kRead = 7;

FindProgress reading(std::uint64_t filesDone, std::uint64_t filesTotal, std::uint64_t bytesDone,
                     std::uint64_t bytesTotal, RecordId file) {
  FindProgress progress;
  progress.phase = FindProgress::Phase::Reading;
  progress.read.stage = ReadProgress::Stage::Reading;
  progress.read.filesDone = filesDone;
  progress.read.filesTotal = filesTotal;
  progress.read.bytesDone = bytesDone;
  progress.read.bytesTotal = bytesTotal;
  progress.read.file = file;
  return progress;
}

TEST(FindProgress, EachPhaseSaysWhatItDoesWithItsCounts) {
  const auto pathOf = [](RecordId record) {
    return record == kRead ? std::string("/data/big/file.iso") : std::string("wrong record");
  };
  FindProgress listing;
  listing.phase = FindProgress::Phase::Listing;
  listing.files = 120345;
  FindProgress grouping;
  grouping.phase = FindProgress::Phase::Grouping;
  grouping.files = 1;
  FindProgress sifting;
  sifting.phase = FindProgress::Phase::Reading;
  sifting.read.stage = ReadProgress::Stage::Sifting;
  sifting.read.filesTotal = 5000;
  const struct {
    FindProgress progress;
    std::string text;
  } cases[] = {
      {FindProgress{}, ""},
      {listing, "Listing: 120,345 files"},
      {grouping, "Grouping: 1 file"},
      {sifting, "Comparing first blocks: 5,000 files"},
      {reading(1234, 5000, 1'234'000'000, 10'700'000'000, kRead),
       "Reading: 1,234 of 5,000 files; 1.2 GB of 10.7 GB; /data/big/file.iso"},
      // Before the first file is taken, and when the sift left nothing to read whole.
      {reading(0, 1, 0, 500, kNoRecord), "Reading: 0 of 1 file; 0 bytes of 500 bytes"},
      {reading(3, 4, 0, 0, kRead), "Reading: 3 of 4 files; /data/big/file.iso"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(formatProgress(c.progress, pathOf), c.text);
}

TEST(FindProgress, ANameCanNeitherBreakTheLineNorReachATerminalAsAnEscape) {
  // A newline, an escape sequence, a C1 control (CSI as UTF-8), a stray byte; kept: "é" and "€".
  const std::string path = "/d/a\nb\x1b[2Jc\xc2\x9b"
                           "d\xff\xc3\xa9\xe2\x82\xac";
  const FindProgress progress = reading(0, 2, 0, 0, kRead);
  EXPECT_EQ(formatProgress(progress, [&](RecordId) { return path; }),
            "Reading: 0 of 2 files; /d/a?b?[2Jc?d?\xc3\xa9\xe2\x82\xac");
}

TEST(FindProgress, TheReadFractionWeighsBytesAndFilesAndEndsAtOne) {
  EXPECT_EQ(readFraction(ReadProgress{}), 0.0);
  // Two files of 1 GB, half of the first read: the bytes lead.
  EXPECT_NEAR(readFraction(reading(0, 2, 500'000'000, 2'000'000'000, 0).read), 0.25, 1e-6);
  // Files the sift cleared move it though no byte is read.
  EXPECT_EQ(readFraction(reading(2, 4, 0, 0, 0).read), 0.5);
  EXPECT_EQ(readFraction(reading(2, 2, 2'000'000'000, 2'000'000'000, 0).read), 1.0);
}

} // namespace
} // namespace zandrex::test
