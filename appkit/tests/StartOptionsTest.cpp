// SPDX-License-Identifier: GPL-3.0-or-later
#include "appkit/StartOptions.hpp"

#include <QApplication>
#include <QDir>
#include <QImage>
#include <QLabel>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include "appkit/QtDialogs.hpp"

namespace halvex::appkit {
namespace {

ParsedStart Parse(QStringList args) {
  args.prepend("marnav");
  return ParseStartOptions(args, "test program", "1.2.3");
}

TEST(StartOptions, ReadsTheThreeOptionsInEitherSpelling) {
  const auto p = Parse({"--ini", "/tmp/a.INI", "--quit-after=2.5", "--screenshot", "s.png"});
  ASSERT_FALSE(p.exit_now) << p.text.toStdString();
  EXPECT_EQ(p.options.ini.value(), "/tmp/a.INI");
  EXPECT_DOUBLE_EQ(p.options.quit_after_seconds.value(), 2.5);
  EXPECT_EQ(p.options.screenshot.value(), "s.png");
  const auto none = Parse({});
  EXPECT_FALSE(none.exit_now);
  EXPECT_FALSE(none.options.ini || none.options.quit_after_seconds || none.options.screenshot);
}

TEST(StartOptions, UsageErrorsExitTwoHelpAndVersionZero) {
  for (const QStringList& bad : {QStringList{"--quit-after", "soon"}, QStringList{"--bogus"},
                                 QStringList{"extra"}, QStringList{"--quit-after", "-1"},
                                 QStringList{"--quit-after", "nan"}, QStringList{"--ini"}}) {
    const auto p = Parse(bad);
    EXPECT_TRUE(p.exit_now) << bad.join(' ').toStdString();
    EXPECT_EQ(p.exit_status, 2) << bad.join(' ').toStdString();
  }
  const auto help = Parse({"--help"});
  EXPECT_TRUE(help.exit_now);
  EXPECT_EQ(help.exit_status, 0);
  EXPECT_TRUE(help.text.contains("--quit-after"));
  const auto version = Parse({"--version"});
  EXPECT_EQ(version.exit_status, 0);
  EXPECT_TRUE(version.text.contains("1.2.3"));
}

TEST(StartOptions, FiltersTranslateToQtForm) {
  EXPECT_EQ(QtFilterFromPipes("Halvex Navigator [*.hxv]|*.hxv|All Files [*.*]|*.*"),
            "Halvex Navigator [*.hxv] (*.hxv);;All Files [*.*] (*)");
  EXPECT_EQ(QtFilterFromPipes("Text|*.txt;*.csv"), "Text (*.txt *.csv)");
}

TEST(StartOptions, QuitAfterWritesTheScreenshotThenClosesTheWindow) {
  int argc = 1;
  char name[] = "appkit_tests";
  char* argv[] = {name, nullptr};
  QApplication app(argc, argv);
  QTemporaryDir dir;
  QLabel window("chart");
  window.resize(120, 80);
  window.show();
  StartOptions options;
  options.quit_after_seconds = 0.05;
  options.screenshot = dir.filePath("shot.png");
  bool failed = false;
  ArmStartOptions(window, options, &failed);
  QTimer::singleShot(3000, &app, &QApplication::quit);
  // The label closes; quitting on last window closed ends the loop.
  app.exec();
  EXPECT_FALSE(window.isVisible());
  EXPECT_FALSE(failed);
  const QImage shot(dir.filePath("shot.png"));
  EXPECT_EQ(shot.size(), QSize(120, 80));

  // A screenshot into a folder that does not exist is reported.
  QLabel other("x");
  other.show();
  options.screenshot = dir.filePath("missing/shot.png");
  ArmStartOptions(other, options, &failed);
  app.exec();
  EXPECT_TRUE(failed);
}

}  // namespace
}  // namespace halvex::appkit
