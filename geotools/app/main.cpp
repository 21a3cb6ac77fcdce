// SPDX-License-Identifier: GPL-3.0-or-later
// geokit: the geodesy tools program.
#include <QApplication>
#include <QDir>

#include <cstdio>
#include <filesystem>

#include "appkit/QtDialogs.hpp"
#include "appkit/StartOptions.hpp"
#include "geotools/app/GeoForm.hpp"
#include "halvex/Version.hpp"
#include "platform/ProgramPaths.hpp"

namespace {

// The help document: beside the program (build tree) or in the installed
// data folder.
std::filesystem::path FindHelpFile() {
  const std::filesystem::path dir = QCoreApplication::applicationDirPath().toStdString();
  for (const auto& candidate :
       {dir / "help" / "HVG_EN.rtf", dir / ".." / "share" / "halvex" / "help" / "HVG_EN.rtf"}) {
    if (std::filesystem::exists(candidate)) return std::filesystem::weakly_canonical(candidate);
  }
  return dir / "help" / "HVG_EN.rtf";
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName("geokit");
  QApplication::setApplicationVersion(halvex::kVersion);
  QApplication::setQuitOnLastWindowClosed(false);
  const auto parsed = halvex::appkit::ParseStartOptions(
      QApplication::arguments(), "Halvex Geodesy Kit: geodetic conversions and datums",
      halvex::kVersion);
  if (parsed.exit_now) {
    std::fputs(qPrintable(parsed.text), parsed.exit_status == 0 ? stdout : stderr);
    return parsed.exit_status;
  }
  halvex::geokit::GeoFormPaths paths;
  try {
    std::optional<std::filesystem::path> override;
    if (parsed.options.ini) override = parsed.options.ini->toStdString();
    paths.ini = halvex::platform::IniFilePath(halvex::platform::CurrentExecutablePath(), "geokit",
                                              override);
    paths.programFolder = halvex::platform::ProgramFolder();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "geokit: %s\n", e.what());
    return 1;
  }
  paths.helpFile = FindHelpFile();

  halvex::geokit::TGeoForm* form = nullptr;
  halvex::appkit::QtDialogs dialogs(nullptr);
  form = new halvex::geokit::TGeoForm(dialogs, paths);
  QObject::connect(form, &halvex::geokit::TGeoForm::Finished, &app, &QApplication::quit,
                   Qt::QueuedConnection);
  if (parsed.options.quit_after_seconds) form->SetQuitOnClose(true);
  form->show();
  bool screenshotFailed = false;
  halvex::appkit::ArmStartOptions(*form, parsed.options, &screenshotFailed);
  const int status = QApplication::exec();
  delete form;
  return screenshotFailed ? 1 : status;
}
