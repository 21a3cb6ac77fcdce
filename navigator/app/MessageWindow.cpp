// SPDX-License-Identifier: GPL-3.0-or-later
#include "navigator/app/MessageWindow.hpp"

#include <QEvent>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QTimer>
#include <QVBoxLayout>

namespace halvex::navigator {

TFMsg::TFMsg(appkit::MessageBoard& board, QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::WindowStaysOnTopHint), board_(board) {
  setObjectName("FMsg");
  setWindowTitle("Message Window");
  resize(420, 160);
  msg_ = new QPlainTextEdit(this);
  msg_->setObjectName("Msg");
  msg_->setReadOnly(true);
  msg_->viewport()->installEventFilter(this);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(2, 2, 2, 2);
  layout->addWidget(msg_);

  timer1_ = new QTimer(this);
  timer1_->setObjectName("Timer1");
  timer1_->setInterval(2000);
  connect(timer1_, &QTimer::timeout, this, [this] { board_.TimerTick(); });

  board_.Attach(this);
}

TFMsg::~TFMsg() { board_.Attach(nullptr); }

void TFMsg::ShowBoard() { show(); }

void TFMsg::HideBoard() { hide(); }

void TFMsg::AppendLine(const std::string& line) {
  // Received text may hold any byte: it is shown as Latin-1, one character
  // per byte, so nothing is dropped or merged into other characters.
  msg_->appendPlainText(QString::fromLatin1(line.data(), static_cast<qsizetype>(line.size())));
}

void TFMsg::ClearLines() { msg_->clear(); }

void TFMsg::showEvent(QShowEvent* event) {
  // Started only when the window appears: lines posted while it is visible
  // do not push the hiding back.
  timer1_->start();
  QWidget::showEvent(event);
}

void TFMsg::hideEvent(QHideEvent* event) {
  timer1_->stop();
  QWidget::hideEvent(event);
}

bool TFMsg::eventFilter(QObject* watched, QEvent* event) {
  if (watched == msg_->viewport() && event->type() == QEvent::MouseButtonRelease) {
    board_.Click();
    return true;
  }
  return QWidget::eventFilter(watched, event);
}

}  // namespace halvex::navigator
