// The desktop's find on a big tree, measured from the outside: wall time of "Find", the longest
// gap between two turns of the event loop while it runs (how late a repaint or a press of
// "Cancel" can be answered), and the time of each scroll step through the result.
//
//   zandrex_bench_desktop FOLDER [MODE]     (MODE: 0 name, 1 size (default), 2 name+size, 3
//   content)
#include "main_window.h"
#include "settings/message_texts.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QPushButton>
#include <QScrollBar>
#include <QTimer>
#include <QTreeView>
#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

using namespace zandrex;

// The probe timer's period: well under the 100 ms the window must answer within.
constexpr int kProbeMs = 5;
constexpr int kScrollSteps = 200;
// Gaps longer than the 100 ms the window must answer within are listed one by one.
constexpr qint64 kReportedGapMs = 100;

} // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s FOLDER [MODE]\n", argv[0]);
    return 2;
  }
  SetLanguageTexts();
  const QString folder = QString::fromLocal8Bit(argv[1]);
  const int mode = argc > 2 ? std::atoi(argv[2]) : BySize;

  MemorySettings settings;
  desktop::Form1 window(settings);
  window.show();
  QApplication::processEvents();
  window.dialogs.chooseFolder = [&](const QString&) { return folder; };
  window.findChild<QPushButton*>("Command2")->click();
  window.findChild<QComboBox*>("cmbBy")->setCurrentIndex(mode);

  QElapsedTimer sinceLastTurn;
  qint64 longestGap = 0;
  qint64 longestGapEnd = 0;
  QElapsedTimer wall;
  QTimer probe;
  probe.setInterval(kProbeMs);
  QObject::connect(&probe, &QTimer::timeout, [&] {
    const qint64 gap = sinceLastTurn.restart();
    if (gap > kReportedGapMs)
      std::fprintf(stderr, "gap of %lld ms ending at %lld ms\n", static_cast<long long>(gap),
                   static_cast<long long>(wall.elapsed()));
    if (gap > longestGap) {
      longestGap = gap;
      longestGapEnd = wall.elapsed();
    }
  });

  qint64 firstEventPass = -1;
  window.onEventPass = [&] {
    if (firstEventPass < 0)
      firstEventPass = wall.elapsed();
  };
  wall.start();
  sinceLastTurn.start();
  probe.start();
  window.findChild<QPushButton*>("Command3")->click();
  probe.stop();
  const qint64 findMs = wall.elapsed();
  // The result reaches the screen with the next paint.
  QApplication::processEvents();
  const qint64 shownMs = wall.elapsed();
  // The stretch from the last turn inside the find until the result is on screen counts too.
  const qint64 lastGap = sinceLastTurn.elapsed();
  if (lastGap > kReportedGapMs)
    std::fprintf(stderr, "gap of %lld ms ending at %lld ms (showing the result)\n",
                 static_cast<long long>(lastGap), static_cast<long long>(shownMs));
  if (lastGap > longestGap) {
    longestGap = lastGap;
    longestGapEnd = shownMs;
  }

  auto* view = window.findChild<QTreeView*>("ReportControl1");
  QScrollBar* bar = view->verticalScrollBar();
  std::vector<qint64> steps;
  QElapsedTimer step;
  for (int i = 0; i < kScrollSteps && bar->value() < bar->maximum(); ++i) {
    step.start();
    bar->setValue(bar->value() + std::max(1, bar->pageStep()));
    // What the window does after a scroll (such as opening the groups come into view) counts.
    QApplication::processEvents();
    view->viewport()->repaint();
    steps.push_back(step.nsecsElapsed() / 1000);
  }
  std::sort(steps.begin(), steps.end());
  auto at = [&](double q) {
    return steps.empty() ? 0 : steps[static_cast<std::size_t>(q * (steps.size() - 1))];
  };
  std::printf("status: %s\n", qPrintable(window.statusText()));
  std::printf("longest_gap_ended_at_ms: %lld\nfirst_event_pass_ms: %lld\n",
              static_cast<long long>(longestGapEnd), static_cast<long long>(firstEventPass));
  std::printf("find_ms: %lld\nshown_ms: %lld\nlongest_event_gap_ms: %lld\n",
              static_cast<long long>(findMs), static_cast<long long>(shownMs),
              static_cast<long long>(longestGap));
  std::printf(
      "scroll_steps: %zu\nscroll_median_us: %lld\nscroll_p99_us: %lld\nscroll_max_us: %lld\n",
      steps.size(), static_cast<long long>(at(0.5)), static_cast<long long>(at(0.99)),
      static_cast<long long>(at(1.0)));
  return 0;
}
