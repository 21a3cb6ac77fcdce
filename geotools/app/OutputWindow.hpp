// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The report window (TFormOutput): one rich-text box with New, Open, Save
// As, Exit, Cut, Copy and Paste. A fresh window shows each report; closing
// a modified report asks to save it first.

#include <QMainWindow>

#include <filesystem>
#include <memory>

#include "appkit/Dialogs.hpp"
#include "geotools/core/ReportFile.hpp"
#include "geotools/core/RichText.hpp"

class QTextEdit;

namespace halvex::geokit {

// The report text in a QTextEdit, as the report file logic sees it.
geotools::RichText RichTextFromEdit(const QTextEdit& edit);
void SetRichTextInEdit(QTextEdit& edit, const geotools::RichText& text);

class TFormOutput : public QMainWindow {
  Q_OBJECT
 public:
  TFormOutput(appkit::Dialogs& dialogs, std::filesystem::path folder, QWidget* parent = nullptr);
  ~TFormOutput() override;

  // Shows a report; marks it modified so that closing asks to save it.
  void ShowReport(const geotools::RichText& report);

  QTextEdit* Memo() const { return memo_; }
  geotools::ReportSession& Session() { return *session_; }

 signals:
  void Closed();

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  class View;
  QTextEdit* memo_;
  std::unique_ptr<View> view_;
  std::unique_ptr<geotools::ReportSession> session_;
};

}  // namespace halvex::geokit
