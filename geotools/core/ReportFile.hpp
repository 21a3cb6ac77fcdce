// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The report window's files and its "save changes?" logic, without the
// window: the window gives its text through ReportView and asks through the
// dialog interface.

#include <filesystem>
#include <optional>
#include <string>

#include "appkit/Dialogs.hpp"
#include "geotools/core/RichText.hpp"

namespace halvex::geotools {

inline constexpr const char* kReportFilter =
    "Rich Text Files (*.RTF)|*.RTF|Text Files (*.TXT)|*.TXT";
inline constexpr const char* kReportLostQuestion = "The data will be lost. Save it now?";

// Plain text for a name ending in ".txt" (any case), RTF otherwise.
bool IsPlainTextName(const std::filesystem::path& file);

// Writes the report atomically, as RTF or plain text by the file name.
// Throws std::runtime_error naming the file and the reason; the old file is
// then kept.
void SaveReportFile(const RichText& text, const std::filesystem::path& file);

// Reads a report: RTF when the file starts like RTF, plain text otherwise.
// Throws std::runtime_error naming the file when it cannot be read.
RichText LoadReportFile(const std::filesystem::path& file);

// What the report window shows.
class ReportView {
 public:
  virtual ~ReportView() = default;
  virtual RichText Content() const = 0;
  virtual void SetContent(const RichText& text) = 0;
  virtual void SetReadOnly(bool readOnly) = 0;
};

class ReportSession {
 public:
  ReportSession(ReportView& view, appkit::Dialogs& dialogs, std::filesystem::path folder)
      : view_(view), dialogs_(dialogs), folder_(std::move(folder)) {}

  // Showing a fresh report marks it modified, so closing asks to save it.
  void Shown() { modified_ = true; }
  void Edited() { modified_ = true; }
  bool Modified() const { return modified_; }

  // Before New, Open and closing: when modified, ask whether to save. Yes
  // saves (a cancelled dialog or a failed save counts as Cancel), No clears
  // the text. False means abandon the action.
  bool ResolveChanges();

  void New();
  // After ResolveChanges: the open dialog; `readOnly` is the dialog's
  // read-only choice. False when nothing was opened.
  bool Open(bool readOnly = false);
  // The save dialog, then the save; failures are told. True when saved.
  bool SaveAs();
  // A close request; false refuses it.
  bool CloseRequested() { return ResolveChanges(); }

 private:
  appkit::FileRequest Request(const char* title) const;

  ReportView& view_;
  appkit::Dialogs& dialogs_;
  std::filesystem::path folder_;
  bool modified_ = false;
};

}  // namespace halvex::geotools
