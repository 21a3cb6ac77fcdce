// SPDX-License-Identifier: GPL-3.0-or-later
// marnav, the Halvex navigation program.
//   marnav [--ini FILE] [--quit-after SECONDS] [--screenshot FILE.png]

#include <QApplication>

#include <cstdio>
#include <exception>
#include <memory>

#include "appkit/MessageBoard.hpp"
#include "appkit/QtDialogs.hpp"
#include "appkit/StartOptions.hpp"
#include "halvex/Version.hpp"
#include "navigator/app/AboutWindow.hpp"
#include "navigator/app/MessageWindow.hpp"
#include "navigator/app/NavWindow.hpp"
#include "navigator/app/ProgramIcon.hpp"
#include "navigator/app/SettingsWindow.hpp"
#include "platform/ProgramPaths.hpp"
#include "platform/SerialAccess.hpp"

namespace nav = halvex::navigator;
namespace appkit = halvex::appkit;
namespace platform = halvex::platform;

namespace {

// The dialogs of the main window: its logic is created with the window,
// before the window can be their parent, so the Qt dialogs are attached
// once it exists.
class MainWindowDialogs final : public appkit::Dialogs {
 public:
  void Attach(QWidget* window) { qt_ = std::make_unique<appkit::QtDialogs>(window); }

  bool Confirm(const std::string& title, const std::string& text) override {
    return Qt().Confirm(title, text);
  }
  appkit::Answer Ask(const std::string& title, const std::string& text) override {
    return Qt().Ask(title, text);
  }
  void Tell(appkit::Notice kind, const std::string& title, const std::string& text) override {
    Qt().Tell(kind, title, text);
  }
  std::optional<std::string> OpenFile(const appkit::FileRequest& request) override {
    return Qt().OpenFile(request);
  }
  std::optional<std::string> SaveFile(const appkit::FileRequest& request) override {
    return Qt().SaveFile(request);
  }

 private:
  appkit::QtDialogs& Qt() {
    if (!qt_) qt_ = std::make_unique<appkit::QtDialogs>(nullptr);
    return *qt_;
  }
  std::unique_ptr<appkit::QtDialogs> qt_;
};

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName("marnav");
  QApplication::setApplicationDisplayName("Halvex Navigator");
  QApplication::setApplicationVersion(halvex::kVersion);
  QApplication::setWindowIcon(nav::MarnavIcon());

  const appkit::ParsedStart start = appkit::ParseStartOptions(
      QApplication::arguments(),
      "Halvex Navigator: GPS and echo sounder on the local grid chart.", halvex::kVersion);
  if (start.exit_now) {
    std::fputs(qPrintable(start.text), start.exit_status == 0 ? stdout : stderr);
    return start.exit_status;
  }

  std::filesystem::path ini;
  try {
    std::optional<std::filesystem::path> override;
    if (start.options.ini) override = start.options.ini->toStdString();
    ini = platform::IniFilePath(platform::CurrentExecutablePath(), "marnav", override);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "marnav: cannot find a place for the settings file: %s\n", e.what());
    return 1;
  }

  const platform::SystemClock clock;
  appkit::MessageBoard messages;
  // Said once at start: with serial devices present and none of them open
  // to this user, every port would fail for the same reason.
  for (const std::string& line : platform::SerialAccessNotice(
           platform::CheckSerialAccess(platform::UserIdentity::Current()))) {
    messages.Post(line);
  }
  MainWindowDialogs dialogs;

  nav::NavWindowOptions options;
  options.iniFile = ini;
  options.clock = &clock;
  options.warnOnFailedClose = !start.options.quit_after_seconds.has_value();

  // Created in this order: the main window, the message window, the
  // settings window, the About window.
  nav::TFNav main_window(options, dialogs, messages);
  dialogs.Attach(&main_window);
  nav::TFMsg message_window(messages, &main_window);
  nav::TFGPS settings_window(main_window.Logic().RGPS1.PortMap().Ports(), &main_window);
  main_window.AttachSettingsWindow(&settings_window);
  nav::TAboutBox about(&main_window);
  main_window.AttachAboutBox(&about);

  QObject::connect(&main_window, &nav::TFNav::WindowClosed, &app, &QApplication::quit,
                   Qt::QueuedConnection);
  bool screenshot_failed = false;
  appkit::ArmStartOptions(main_window, start.options, &screenshot_failed);
  main_window.show();
  const int status = QApplication::exec();

  int exit_status = status;
  if (start.options.quit_after_seconds && main_window.Closed() &&
      !main_window.LastClose().saved) {
    std::fprintf(stderr, "marnav: cannot save project %s: %s\n",
                 main_window.LastClose().file.c_str(), main_window.LastClose().reason.c_str());
    exit_status = 1;
  }
  if (screenshot_failed) exit_status = 1;
  return exit_status;
}
