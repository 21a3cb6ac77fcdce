// SPDX-License-Identifier: GPL-3.0-or-later
#include "appkit/MessageBoard.hpp"

namespace halvex::appkit {

void MessageBoard::Attach(View* view) {
  view_ = view;
  if (view_ == nullptr) return;
  view_->ClearLines();
  for (const auto& line : lines_) view_->AppendLine(line);
  if (visible_) view_->ShowBoard();
}

void MessageBoard::Post(const std::string& line) {
  if (lines_.size() >= kMaxLines) {
    lines_.pop_front();
    // The window's text is rebuilt rather than trimmed line by line: this
    // happens once per kMaxLines posts at most.
    if (view_ != nullptr) {
      view_->ClearLines();
      for (const auto& l : lines_) view_->AppendLine(l);
    }
  }
  const bool was_visible = visible_;
  visible_ = true;
  if (view_ != nullptr && !was_visible) view_->ShowBoard();
  lines_.push_back(line);
  if (view_ != nullptr) view_->AppendLine(line);
}

void MessageBoard::TimerTick() {
  if (!visible_) return;
  visible_ = false;
  if (view_ != nullptr) view_->HideBoard();
}

void MessageBoard::Click() {
  const bool was_visible = visible_;
  visible_ = false;
  lines_.clear();
  if (view_ != nullptr) {
    if (was_visible) view_->HideBoard();
    view_->ClearLines();
  }
}

}  // namespace halvex::appkit
