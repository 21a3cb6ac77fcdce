// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The model of a program's message window: the one place where status
// lines go. Posting shows the window and appends the line; the window hides
// itself at the first tick of its timer after it was shown (so 2 s after
// showing, however many lines came meanwhile), and a click on the text hides
// it and empties it. Lines posted before a window is attached (start-up
// messages, before the windows exist) are held and shown when it attaches.
//
// Plain C++: the window implements View and forwards its timer tick and
// click; tests drive the board directly.

#include <cstddef>
#include <deque>
#include <string>

namespace halvex::appkit {

class MessageBoard {
 public:
  // What the window does for the board. ShowBoard starts the window's timer
  // (when it was hidden), HideBoard stops it.
  class View {
   public:
    virtual ~View() = default;
    virtual void ShowBoard() = 0;
    virtual void HideBoard() = 0;
    virtual void AppendLine(const std::string& line) = 0;
    virtual void ClearLines() = 0;
  };

  // Lines kept at most; the oldest go first. A run of days that reconnects
  // a flaky port every few seconds must not grow the window without end.
  static constexpr std::size_t kMaxLines = 10000;

  void Attach(View* view);
  void Post(const std::string& line);
  void TimerTick();
  void Click();

  bool Visible() const { return visible_; }
  const std::deque<std::string>& Lines() const { return lines_; }

 private:
  View* view_ = nullptr;
  bool visible_ = false;
  std::deque<std::string> lines_;
};

}  // namespace halvex::appkit
