// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The one interface through which both programs ask the user something:
// confirmations, notices and file names. Windows hand their logic an object
// of this type; the programs give it QtDialogs, tests give it
// ScriptedDialogs and answer in advance. Plain C++ so that the logic layers
// of the programs, which have no Qt, can ask through it too. Texts are
// UTF-8.

#include <optional>
#include <string>

namespace halvex::appkit {

enum class Answer { kYes, kNo, kCancel };

// The kind of a notice; it decides the icon of the message box.
enum class Notice { kInformation, kWarning, kError };

// An open or save dialog. `filter` is written as the programs' captions
// have it, pairs of description and patterns joined by "|", for example
// "Halvex Navigator [*.hxv]|*.hxv|All Files [*.*]|*.*". `default_suffix`
// ("hxv", no dot) is appended to a typed name that has none.
struct FileRequest {
  std::string title;
  std::string directory;
  std::string filter;
  std::string default_suffix;
  // Save dialogs only: ask before replacing an existing file.
  bool confirm_overwrite = true;
};

class Dialogs {
 public:
  virtual ~Dialogs() = default;

  // A warning with the buttons Yes and No. True only for Yes: any other
  // answer (No, Escape, closing the box) abandons the action.
  virtual bool Confirm(const std::string& title, const std::string& text) = 0;

  // A question with Yes, No and Cancel, such as "save the changes?".
  virtual Answer Ask(const std::string& title, const std::string& text) = 0;

  // A notice with one OK button.
  virtual void Tell(Notice kind, const std::string& title, const std::string& text) = 0;

  // The chosen file, or nullopt when the dialog was cancelled. OpenFile
  // returns only files that exist.
  virtual std::optional<std::string> OpenFile(const FileRequest& request) = 0;
  virtual std::optional<std::string> SaveFile(const FileRequest& request) = 0;
};

}  // namespace halvex::appkit
