#include "form1/form1_core.h"

#include "common/run_aside.h"
#include "form1/group_stats.h"

namespace zandrex {

namespace {

// Below this many rows the reclaimable space is summed in a few milliseconds, in place.
constexpr std::size_t kRowsSummedAside = 50000;

struct ColumnDesign {
  const char* caption;
  int width;
  bool shown;
};
// The main grid's columns, in this order.
constexpr ColumnDesign kColumns[col::kCount] = {
    {"Path", 300, true},  {"File", 220, true},      {"Size", 120, true},     {"Date", 120, true},
    {"File", 240, false}, {"Checksum", 240, false}, {"Content", 240, false},
};

} // namespace

std::string filesText(long long count) {
  return std::to_string(count) + " files";
}

Form1Core::Form1Core(Form1View& view, SettingsStore& settings) : view_(view), settings_(settings) {}

void Form1Core::setUpGrid() {
  for (int k = 0; k < col::kCount; ++k) {
    ReportControl1.addColumn(k, kColumns[k].caption, kColumns[k].width, true);
    if (!kColumns[k].shown)
      ReportControl1.setColumnShown(k, false);
  }
  ReportControl1.setColumnInterned(col::kPath, true);
  ReportControl1.groupOrderClear();
  ReportControl1.groupOrderAdd(col::kFile);
}

void Form1Core::setStatusText(std::string text) {
  statusText_ = std::move(text);
  view_.statusTextChanged();
}

void Form1Core::updateStatusText2(bool afterDeletion) {
  std::uint64_t reclaimable = 0;
  // A pass over a million rows reads facts all over memory for a tenth of a second: it runs
  // aside while the window keeps answering (every command is refused while busy).
  std::function<void()> whileWaiting;
  if (ReportControl1.rowCount() >= kRowsSummedAside)
    whileWaiting = [this] { view_.doEventsWhileWaiting(); };
  runAside([&] { reclaimable = totalReclaimable(ReportControl1); }, whileWaiting);
  statusText2_ = reclaimableText(reclaimable);
  if (afterDeletion && groupsLostLastRun_ > 0)
    statusText2_ += "; " + withThousands(groupsLostLastRun_) +
                    (groupsLostLastRun_ == 1 ? " group" : " groups") + " lost every copy";
  view_.statusText2Changed();
}

void Form1Core::rebuildRowsWhileHidden() {
  ReportControl1.rebuildRows([this] { view_.doEventsWhileWaiting(); });
}

void Form1Core::addProgress(int bar) {
  progressBar(bar).value += 1.0f;
  view_.progressChanged(bar);
}

std::string Form1Core::fullPath(RecordId record) const {
  std::string_view disk = ReportControl1.diskName(record);
  std::string path(ReportControl1.item(record, col::kPath).asText());
  path += disk.empty() ? ReportControl1.item(record, col::kFile).asText() : disk;
  return path;
}

} // namespace zandrex

namespace zandrex {

std::string groupHeading(const ReportGrid& grid, std::size_t position) {
  const auto& order = grid.groupOrder();
  if (order.empty())
    return {};
  int column = order.front();
  std::string key = grid.column(column).caption + ": " + grid.groupKey(position).displayText();
  if (column == col::kContent && grid.row(position).childCount > 0) {
    RecordId first = grid.row(position + 1).record;
    key = grid.column(col::kChecksum).caption + ": " +
          std::string(grid.item(first, col::kChecksum).asText());
  }
  GroupStats stats = groupStatsAt(grid, position);
  return key + " (" + withThousands(stats.files) + (stats.files == 1 ? " file, " : " files, ") +
         formatBytes(stats.reclaimable) + " reclaimable)";
}

} // namespace zandrex
