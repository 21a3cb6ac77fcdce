// SPDX-License-Identifier: GPL-3.0-or-later
#include "geotools/app/OutputWindow.hpp"

#include <QCloseEvent>
#include <QFont>

#include <QMenuBar>
#include <QSignalBlocker>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextEdit>
#include <QToolBar>
#include <cmath>

namespace halvex::geokit {

namespace {

geotools::TextStyle StyleOf(const QTextCharFormat& format) {
  geotools::TextStyle style;
  const QStringList families = format.fontFamilies().toStringList();
  if (!families.isEmpty()) style.font = families.front().toStdString();
  if (format.fontPointSize() > 0) {
    style.sizeHalfPoints = static_cast<int>(std::lround(format.fontPointSize() * 2));
  }
  style.bold = format.fontWeight() >= QFont::Bold;
  if (format.foreground().style() != Qt::NoBrush) {
    const QColor c = format.foreground().color();
    style.rgb = (static_cast<std::uint32_t>(c.red()) << 16) |
                (static_cast<std::uint32_t>(c.green()) << 8) | static_cast<std::uint32_t>(c.blue());
  }
  return style;
}

QTextCharFormat FormatOf(const geotools::TextStyle& style) {
  QTextCharFormat format;
  format.setFontFamilies({QString::fromStdString(style.font)});
  format.setFontPointSize(style.sizeHalfPoints > 0 ? style.sizeHalfPoints / 2.0 : 10.0);
  format.setFontWeight(style.bold ? QFont::Bold : QFont::Normal);
  format.setForeground(QColor(static_cast<int>((style.rgb >> 16) & 0xFF),
                              static_cast<int>((style.rgb >> 8) & 0xFF),
                              static_cast<int>(style.rgb & 0xFF)));
  return format;
}

}  // namespace

geotools::RichText RichTextFromEdit(const QTextEdit& edit) {
  geotools::RichText text;
  const QTextDocument* doc = edit.document();
  for (QTextBlock block = doc->begin(); block.isValid(); block = block.next()) {
    geotools::TextStyle last = StyleOf(block.charFormat());
    for (auto it = block.begin(); !it.atEnd(); ++it) {
      const QTextFragment fragment = it.fragment();
      if (!fragment.isValid()) continue;
      QString piece = fragment.text();
      piece.replace(QChar::LineSeparator, '\n');
      last = StyleOf(fragment.charFormat());
      text.Append(piece.toStdString(), last);
    }
    if (block.next().isValid()) text.Append("\n", last);
  }
  return text;
}

void SetRichTextInEdit(QTextEdit& edit, const geotools::RichText& text) {
  // A text all in the default style (the least-squares reports) goes in as
  // plain text with that style as the document's font: an order of
  // magnitude faster than inserting it, and it reads back the same, since
  // an unformatted fragment reads as the default style.
  if (text.Runs().size() == 1 && text.Runs().front().style == geotools::TextStyle{}) {
    const geotools::TextStyle style;
    QFont font(QString::fromStdString(style.font));
    font.setPointSizeF(style.sizeHalfPoints / 2.0);
    edit.document()->setDefaultFont(font);
    edit.setPlainText(QString::fromStdString(text.Runs().front().text));
    return;
  }
  edit.clear();
  QTextCursor cursor(edit.document());
  for (const geotools::TextRun& run : text.Runs()) {
    cursor.insertText(QString::fromStdString(run.text), FormatOf(run.style));
  }
}

class TFormOutput::View : public geotools::ReportView {
 public:
  explicit View(QTextEdit& edit) : edit_(edit) {}
  geotools::RichText Content() const override { return RichTextFromEdit(edit_); }
  void SetContent(const geotools::RichText& text) override {
    const QSignalBlocker quiet(&edit_);  // a replaced text is not an edit
    SetRichTextInEdit(edit_, text);
  }
  void SetReadOnly(bool readOnly) override { edit_.setReadOnly(readOnly); }

 private:
  QTextEdit& edit_;
};

TFormOutput::TFormOutput(appkit::Dialogs& dialogs, std::filesystem::path folder, QWidget* parent)
    : QMainWindow(parent), memo_(new QTextEdit(this)) {
  setObjectName("TFormOutput");
  setWindowTitle("Report");
  setAttribute(Qt::WA_DeleteOnClose);
  memo_->setObjectName("HelmertMemo");
  setCentralWidget(memo_);
  view_ = std::make_unique<View>(*memo_);
  session_ = std::make_unique<geotools::ReportSession>(*view_, dialogs, std::move(folder));
  connect(memo_, &QTextEdit::textChanged, this, [this] { session_->Edited(); });

  QMenu* file = menuBar()->addMenu("&File");
  QMenu* edit = menuBar()->addMenu("&Edit");
  QToolBar* tools = addToolBar("Tools");
  auto add = [&](QMenu* menu, const char* name, const char* text, auto slot) {
    QAction* action = menu->addAction(text);
    action->setObjectName(name);
    tools->addAction(action);
    connect(action, &QAction::triggered, this, slot);
  };
  add(file, "New1", "&New", [this] { session_->New(); });
  add(file, "Open1", "&Open...", [this] { session_->Open(); });
  add(file, "SaveAs1", "Save &As...", [this] { session_->SaveAs(); });
  add(file, "Exit1", "E&xit", [this] { close(); });
  add(edit, "Cut1", "Cu&t", [this] { memo_->cut(); });
  add(edit, "Copy1", "&Copy", [this] { memo_->copy(); });
  add(edit, "Paste1", "&Paste", [this] { memo_->paste(); });
  resize(640, 480);
}

TFormOutput::~TFormOutput() = default;

void TFormOutput::ShowReport(const geotools::RichText& report) {
  view_->SetContent(report);
  session_->Shown();
  show();
}

void TFormOutput::closeEvent(QCloseEvent* event) {
  if (!session_->CloseRequested()) {
    event->ignore();
    return;
  }
  event->accept();
  emit Closed();
}

}  // namespace halvex::geokit
