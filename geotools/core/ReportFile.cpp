// SPDX-License-Identifier: GPL-3.0-or-later
#include "geotools/core/ReportFile.hpp"

#include <algorithm>
#include <stdexcept>

#include "platform/FileIo.hpp"

namespace halvex::geotools {

bool IsPlainTextName(const std::filesystem::path& file) {
  std::string ext = file.extension().string();
  std::transform(ext.begin(), ext.end(), ext.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return ext == ".txt";
}

void SaveReportFile(const RichText& text, const std::filesystem::path& file) {
  platform::WriteFileAtomically(file, IsPlainTextName(file) ? text.PlainText() : WriteRtf(text));
}

RichText LoadReportFile(const std::filesystem::path& file) {
  const auto bytes = platform::ReadWholeFile(file);
  if (!bytes) {
    throw std::runtime_error("Cannot open " + file.string() + ": the file does not exist.");
  }
  if (LooksLikeRtf(*bytes)) return ReadRtf(*bytes);
  RichText text;
  std::string plain;
  plain.reserve(bytes->size());
  for (std::size_t i = 0; i < bytes->size(); ++i) {
    if ((*bytes)[i] == '\r' && i + 1 < bytes->size() && (*bytes)[i + 1] == '\n') continue;
    plain.push_back((*bytes)[i]);
  }
  text.Append(plain, TextStyle{"Courier New", 20, false, 0});
  return text;
}

appkit::FileRequest ReportSession::Request(const char* title) const {
  appkit::FileRequest request;
  request.title = title;
  request.directory = folder_.string();
  request.filter = kReportFilter;
  request.default_suffix = "RTF";
  return request;
}

bool ReportSession::ResolveChanges() {
  if (!modified_) return true;
  switch (dialogs_.Ask("Confirm", kReportLostQuestion)) {
    case appkit::Answer::kYes:
      return SaveAs();
    case appkit::Answer::kNo:
      view_.SetContent({});
      modified_ = false;
      return true;
    case appkit::Answer::kCancel:
      break;
  }
  return false;
}

void ReportSession::New() {
  if (!ResolveChanges()) return;
  view_.SetContent({});
  view_.SetReadOnly(false);
  modified_ = false;
}

bool ReportSession::Open(bool readOnly) {
  if (!ResolveChanges()) return false;
  const auto file = dialogs_.OpenFile(Request("Open"));
  if (!file) return false;
  try {
    view_.SetContent(LoadReportFile(*file));
  } catch (const std::exception& e) {
    dialogs_.Tell(appkit::Notice::kError, "Open", e.what());
    return false;
  }
  view_.SetReadOnly(readOnly);
  modified_ = false;
  return true;
}

bool ReportSession::SaveAs() {
  const auto file = dialogs_.SaveFile(Request("Save As"));
  if (!file) return false;
  try {
    SaveReportFile(view_.Content(), *file);
  } catch (const std::exception& e) {
    dialogs_.Tell(appkit::Notice::kError, "Save As",
                  std::string("The report was not saved. ") + e.what());
    return false;
  }
  modified_ = false;
  return true;
}

}  // namespace halvex::geotools
