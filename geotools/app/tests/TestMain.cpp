// SPDX-License-Identifier: GPL-3.0-or-later
// The window tests run inside one QApplication.
#include <QApplication>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
  // Listing the tests (at build time) needs no screen either.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
