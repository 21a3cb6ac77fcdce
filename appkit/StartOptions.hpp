// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The command line both programs share:
//   PROGRAM [--ini FILE] [--quit-after SECONDS] [--screenshot FILE.png]
// --ini names the settings file (otherwise the platform rule decides);
// --quit-after closes the main window after that many seconds exactly as a
// user closing it would (its close query runs); --screenshot writes a PNG
// of the main window just before that close, or after 2 s when no
// --quit-after is given. Both run under QT_QPA_PLATFORM=offscreen.

#include <QString>
#include <QStringList>

#include <optional>

class QWidget;

namespace halvex::appkit {

struct StartOptions {
  std::optional<QString> ini;
  std::optional<double> quit_after_seconds;
  std::optional<QString> screenshot;
};

// The result of reading the command line: options, or a text to print and
// the exit status to leave with (0 after --help and --version, 2 for a
// usage error).
struct ParsedStart {
  StartOptions options;
  bool exit_now = false;
  int exit_status = 0;
  QString text;
};

// `arguments` includes the program name first, as QCoreApplication gives
// them. `description` is the first line of --help.
ParsedStart ParseStartOptions(const QStringList& arguments, const QString& description,
                              const QString& version);

// Arms the timers of --quit-after and --screenshot on `window`. The close
// goes through QWidget::close, so the window's close query decides; a
// screenshot that cannot be written is reported on standard error and
// makes `screenshot_failed` true.
void ArmStartOptions(QWidget& window, const StartOptions& options, bool* screenshot_failed);

// Writes a PNG of the widget as it stands; false with a reason on failure.
bool WriteScreenshot(QWidget& widget, const QString& file, QString* reason);

}  // namespace halvex::appkit
