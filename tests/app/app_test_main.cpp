// The desktop tests share one QApplication on the offscreen platform.
#include "shellaid/program_environment.h"

#include <QApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  zandrex::reportEnvironment() = zandrex::programReportEnvironment();
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
