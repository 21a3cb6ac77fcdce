// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The message window: the program's one place for status lines. It stays
// on top of the other windows, shows itself when a line is posted and hides
// itself at the first tick of Timer1 (2000 ms) after it was shown; a click
// on the text hides it and empties it. The rules live in
// appkit::MessageBoard; this window only draws what the board says.

#include <QWidget>

#include "appkit/MessageBoard.hpp"

class QPlainTextEdit;
class QTimer;

namespace halvex::navigator {

class TFMsg final : public QWidget, public appkit::MessageBoard::View {
  Q_OBJECT

 public:
  // Attaches itself to `board` (which then shows the lines it held) and
  // detaches when destroyed.
  explicit TFMsg(appkit::MessageBoard& board, QWidget* parent = nullptr);
  ~TFMsg() override;

  QPlainTextEdit* Msg() const { return msg_; }
  QTimer* Timer1() const { return timer1_; }

  // MessageBoard::View
  void ShowBoard() override;
  void HideBoard() override;
  void AppendLine(const std::string& line) override;
  void ClearLines() override;

 protected:
  void showEvent(QShowEvent* event) override;  // FormShow: Timer1 on
  void hideEvent(QHideEvent* event) override;  // FormHide: Timer1 off
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  appkit::MessageBoard& board_;
  QPlainTextEdit* msg_;
  QTimer* timer1_;
};

}  // namespace halvex::navigator
