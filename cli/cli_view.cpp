#include "cli_view.h"

#include "source/system_folder_guard.h"
#include "text/utf8.h"

#include <algorithm>
#include <sstream>
#include <string_view>
#include <sys/ioctl.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace zandrex::cli {

namespace {
// The progress line is redrawn at most this often.
constexpr auto kProgressInterval = std::chrono::milliseconds(100);
// The clock is read only every this many event passes; a pass must stay nearly free.
constexpr unsigned kCallsPerClockRead = 256;
// How much of the error report is echoed on standard error.
constexpr int kReportLinesShown = 8;
// When the terminal does not say how wide it is.
constexpr std::size_t kDefaultColumns = 80;
constexpr std::string_view kElided = "...";
// The parts of the progress text, the file's path last.
constexpr std::string_view kPartSeparator = "; ";
// Fewer characters of a path than this say nothing: the whole line is cut instead.
constexpr std::size_t kLeastPathShown = 8;

std::size_t terminalColumns() {
  winsize size{};
  if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0)
    return size.ws_col;
  return kDefaultColumns;
}

// Where each character of text starts.
std::vector<std::size_t> characterStarts(std::string_view text) {
  std::vector<std::size_t> starts;
  for (std::size_t at = 0; at < text.size();)
    starts.push_back(
        std::exchange(at, at + std::max<std::size_t>(1, utf8SequenceLength(text, at))));
  return starts;
}

// The text cut in its middle to at most columns characters.
std::string elided(std::string_view text, std::size_t columns) {
  const std::vector<std::size_t> starts = characterStarts(text);
  if (starts.size() <= columns)
    return std::string(text);
  const std::size_t kept = columns > kElided.size() ? columns - kElided.size() : 0;
  const std::size_t head = kept / 2;
  const std::size_t tail = kept - head;
  return std::string(text.substr(0, starts[head])) + std::string(kElided) +
         std::string(text.substr(tail == 0 ? text.size() : starts[starts.size() - tail]));
}

// The line fitted to one terminal row, which a wrapped line could not be redrawn in place in: the
// file's path (after the last "; ") gives way first, cut in its middle so its name stays.
std::string fittedLine(const std::string& text, std::size_t columns) {
  // The last column stays free: writing into it wraps on some terminals.
  const std::size_t room = columns - 1;
  const std::size_t cut = text.rfind(kPartSeparator);
  if (cut == std::string::npos)
    return elided(text, room);
  const std::size_t pathStart = cut + kPartSeparator.size();
  const std::size_t headLength =
      characterStarts(std::string_view(text).substr(0, pathStart)).size();
  if (headLength + kElided.size() + kLeastPathShown > room)
    return elided(text, room);
  return text.substr(0, pathStart) +
         elided(std::string_view(text).substr(pathStart), room - headLength);
}

std::string withoutCarriageReturns(const std::string& text) {
  std::string out;
  for (char c : text)
    if (c != '\r')
      out += c;
  return out;
}

} // namespace

volatile std::sig_atomic_t interruptRequested = 0;

void CliView::stopOnSignal() {
  if (interruptRequested && core_)
    core_->cancel();
}

void CliView::doEvents() {
  stopOnSignal();
  if (++calls_ % kCallsPerClockRead == 0)
    showProgressIfDue();
}

void CliView::doEventsWhileWaiting() {
  stopOnSignal();
  // Called every few milliseconds, not per file: counting calls would stretch the interval.
  showProgressIfDue();
}

void CliView::showProgressIfDue() {
  if (!showProgress_ || !core_)
    return;
  auto now = std::chrono::steady_clock::now();
  if (now - lastProgress_ < kProgressInterval)
    return;
  lastProgress_ = now;
  // Only a find says what it is doing; the line stays as it was during other work.
  const std::string text = core_->progressText();
  if (text.empty())
    return;
  std::fprintf(stderr, "\r%s\033[K", fittedLine(text, terminalColumns()).c_str());
  progressShown_ = true;
}

void CliView::endProgress() {
  if (!progressShown_)
    return;
  std::fprintf(stderr, "\r\033[K");
  progressShown_ = false;
}

bool CliView::showSystemFolderWarning(const std::string& list) {
  endProgress();
  std::fprintf(stderr, "%s: %s\n%s%s\n%s\n", kWarningCaption, kWarningBand,
               withoutCarriageReturns(list).c_str(), list.ends_with("\n") ? "" : "\n",
               kWarningDamage);
  // Listing deletes nothing, so the command line goes on.
  return true;
}

void CliView::showExclamation(const std::string& text) {
  endProgress();
  std::fprintf(stderr, "%s\n", text.c_str());
}

void CliErrorPresenter::showProgramError(bool) {
  errorShown_ = true;
  const ReportWriteOutcome& write = lastReportWrite();
  std::istringstream lines(withoutCarriageReturns(reportText()));
  std::string line;
  if (write.written) {
    std::fprintf(stderr, "zandrex-cli: an error ended the command; the report was added to %s\n",
                 escapeReportText(write.path).c_str());
    for (int n = 0; n < kReportLinesShown && std::getline(lines, line); ++n)
      std::fprintf(stderr, "  %s\n", line.c_str());
    return;
  }
  // Nowhere else to read it: the whole report goes to standard error.
  const std::string where = write.path.empty() ? "" : " to " + escapeReportText(write.path);
  std::fprintf(stderr,
               "zandrex-cli: an error ended the command; the report could not be written%s: "
               "%s\nzandrex-cli: the report follows:\n",
               where.c_str(), write.reason.empty() ? "unknown reason" : write.reason.c_str());
  while (std::getline(lines, line))
    std::fprintf(stderr, "  %s\n", line.c_str());
}

} // namespace zandrex::cli
