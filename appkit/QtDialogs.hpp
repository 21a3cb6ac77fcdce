// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Dialogs shown with Qt's message boxes and file dialogs, parented to a
// window of the program.

#include <QString>

#include "appkit/Dialogs.hpp"

class QWidget;

namespace halvex::appkit {

// "Desc [*.hxv]|*.hxv|All Files [*.*]|*.*" as Qt writes filters:
// "Desc [*.hxv] (*.hxv);;All Files [*.*] (*)". Patterns separated by ";"
// become blank-separated; "*.*" becomes "*" (every file, with or without a
// dot). A trailing description without patterns is dropped.
QString QtFilterFromPipes(const std::string& filter);

class QtDialogs final : public Dialogs {
 public:
  explicit QtDialogs(QWidget* parent) : parent_(parent) {}

  bool Confirm(const std::string& title, const std::string& text) override;
  Answer Ask(const std::string& title, const std::string& text) override;
  void Tell(Notice kind, const std::string& title, const std::string& text) override;
  std::optional<std::string> OpenFile(const FileRequest& request) override;
  std::optional<std::string> SaveFile(const FileRequest& request) override;

 private:
  QWidget* parent_;
};

}  // namespace halvex::appkit
