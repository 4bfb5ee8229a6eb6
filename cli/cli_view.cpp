#include "cli_view.h"

#include "source/system_folder_guard.h"

#include <sstream>

namespace zandrex::cli {

namespace {
// The progress line is redrawn at most this often.
constexpr auto kProgressInterval = std::chrono::milliseconds(100);
// The clock is read only every this many event passes; a pass must stay nearly free.
constexpr unsigned kCallsPerClockRead = 256;
// How much of the error report is echoed on standard error.
constexpr int kReportLinesShown = 8;

std::string withoutCarriageReturns(const std::string& text) {
  std::string out;
  for (char c : text)
    if (c != '\r')
      out += c;
  return out;
}

} // namespace

volatile std::sig_atomic_t interruptRequested = 0;

void CliView::doEvents() {
  if (interruptRequested && core_)
    core_->cancel();
  if (!showProgress_ || !core_ || ++calls_ % kCallsPerClockRead != 0)
    return;
  auto now = std::chrono::steady_clock::now();
  if (now - lastProgress_ < kProgressInterval)
    return;
  lastProgress_ = now;
  const ProgressBar& bar = core_->progressBar(1);
  std::fprintf(stderr, "\r%d files met, %.0f of %.0f rows checked ", core_->scannedFileCount(),
               static_cast<double>(bar.value), static_cast<double>(bar.max));
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
