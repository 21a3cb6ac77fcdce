// SPDX-License-Identifier: GPL-3.0-or-later
#include "appkit/StartOptions.hpp"

#include <QCommandLineParser>
#include <QImageWriter>
#include <QPixmap>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <cmath>
#include <cstdio>

namespace halvex::appkit {

ParsedStart ParseStartOptions(const QStringList& arguments, const QString& description,
                              const QString& version) {
  ParsedStart out;
  QCommandLineParser parser;
  parser.setApplicationDescription(description);
  const QCommandLineOption help_option({"h", "help"}, "Show this help and exit.");
  const QCommandLineOption version_option("version", "Show the version and exit.");
  const QCommandLineOption ini_option("ini", "Read and write the settings in FILE.", "FILE");
  const QCommandLineOption quit_option(
      "quit-after", "Close the main window after SECONDS, as closing it by hand does.",
      "SECONDS");
  const QCommandLineOption shot_option(
      "screenshot", "Write a PNG of the main window to FILE just before it closes.", "FILE");
  parser.addOption(help_option);
  parser.addOption(version_option);
  parser.addOption(ini_option);
  parser.addOption(quit_option);
  parser.addOption(shot_option);

  const QString program = arguments.isEmpty() ? QString("program") : arguments.first();
  if (!parser.parse(arguments)) {
    out.exit_now = true;
    out.exit_status = 2;
    out.text = program + ": " + parser.errorText() + "\n" + parser.helpText();
    return out;
  }
  if (!parser.positionalArguments().isEmpty()) {
    out.exit_now = true;
    out.exit_status = 2;
    out.text = program + ": unexpected argument '" + parser.positionalArguments().first() +
               "'\n" + parser.helpText();
    return out;
  }
  if (parser.isSet(help_option)) {
    out.exit_now = true;
    out.text = parser.helpText();
    return out;
  }
  if (parser.isSet(version_option)) {
    out.exit_now = true;
    out.text = program + " " + version + "\n";
    return out;
  }
  if (parser.isSet(ini_option)) {
    const QString ini = parser.value(ini_option);
    if (ini.isEmpty()) {
      out.exit_now = true;
      out.exit_status = 2;
      out.text = program + ": --ini needs a file name\n";
      return out;
    }
    out.options.ini = ini;
  }
  if (parser.isSet(quit_option)) {
    bool ok = false;
    const double seconds = parser.value(quit_option).toDouble(&ok);
    if (!ok || !std::isfinite(seconds) || seconds < 0 || seconds > 1e7) {
      out.exit_now = true;
      out.exit_status = 2;
      out.text = program + ": --quit-after needs a number of seconds, not '" +
                 parser.value(quit_option) + "'\n";
      return out;
    }
    out.options.quit_after_seconds = seconds;
  }
  if (parser.isSet(shot_option)) {
    const QString shot = parser.value(shot_option);
    if (shot.isEmpty()) {
      out.exit_now = true;
      out.exit_status = 2;
      out.text = program + ": --screenshot needs a file name\n";
      return out;
    }
    out.options.screenshot = shot;
  }
  return out;
}

bool WriteScreenshot(QWidget& widget, const QString& file, QString* reason) {
  const QPixmap pixmap = widget.grab();
  QImageWriter writer(file, "png");
  if (!writer.write(pixmap.toImage())) {
    if (reason != nullptr) *reason = writer.errorString();
    return false;
  }
  return true;
}

void ArmStartOptions(QWidget& window, const StartOptions& options, bool* screenshot_failed) {
  QPointer<QWidget> target(&window);
  const QString shot = options.screenshot.value_or(QString());
  auto take_shot = [target, shot, screenshot_failed] {
    if (shot.isEmpty() || target.isNull()) return;
    QString reason;
    if (!WriteScreenshot(*target, shot, &reason)) {
      std::fprintf(stderr, "Cannot write the screenshot %s: %s\n", qPrintable(shot),
                   qPrintable(reason));
      if (screenshot_failed != nullptr) *screenshot_failed = true;
    }
  };
  if (options.quit_after_seconds) {
    const int ms = static_cast<int>(std::lround(*options.quit_after_seconds * 1000.0));
    QTimer::singleShot(ms, &window, [target, take_shot] {
      take_shot();
      if (!target.isNull()) target->close();
    });
  } else if (!shot.isEmpty()) {
    QTimer::singleShot(2000, &window, take_shot);
  }
}

}  // namespace halvex::appkit
