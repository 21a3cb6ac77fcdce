// SPDX-License-Identifier: GPL-3.0-or-later
#include "appkit/MessageBoard.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace halvex::appkit {
namespace {

// A window that records what the board asks of it.
struct RecordingView : MessageBoard::View {
  std::vector<std::string> calls;
  std::vector<std::string> text;
  void ShowBoard() override { calls.push_back("show"); }
  void HideBoard() override { calls.push_back("hide"); }
  void AppendLine(const std::string& line) override { text.push_back(line); }
  void ClearLines() override { text.clear(); }
};

TEST(MessageBoard, PostShowsOnceAndTheFirstTickHidesWhateverCameSince) {
  MessageBoard board;
  RecordingView view;
  board.Attach(&view);
  board.Post("Connected to GPS on COM1");
  board.Post("GPS Timeout!");
  // Posting while visible appends but does not show again (the window's
  // timer is not restarted), so the tick after the first showing hides it.
  EXPECT_EQ(view.calls, (std::vector<std::string>{"show"}));
  EXPECT_EQ(view.text, (std::vector<std::string>{"Connected to GPS on COM1", "GPS Timeout!"}));
  board.TimerTick();
  EXPECT_FALSE(board.Visible());
  EXPECT_EQ(view.calls.back(), "hide");
  // Hiding keeps the text; the next post shows the window again.
  EXPECT_EQ(board.Lines().size(), 2u);
  board.Post("third");
  EXPECT_EQ(view.calls, (std::vector<std::string>{"show", "hide", "show"}));
  EXPECT_EQ(view.text.size(), 3u);
}

TEST(MessageBoard, ClickHidesAndEmptiesTheNextPostStartsAfresh) {
  MessageBoard board;
  RecordingView view;
  board.Attach(&view);
  for (int i = 0; i < 5; ++i) board.Post("line " + std::to_string(i));
  board.Click();
  EXPECT_FALSE(board.Visible());
  EXPECT_TRUE(board.Lines().empty());
  EXPECT_TRUE(view.text.empty());
  board.Post("new");
  EXPECT_EQ(view.text, (std::vector<std::string>{"new"}));
}

TEST(MessageBoard, LinesPostedBeforeTheWindowExistsAreShownWhenItAttaches) {
  MessageBoard board;
  board.Post("Cannot create folder /nowhere: Permission denied");
  RecordingView view;
  board.Attach(&view);
  EXPECT_EQ(view.text, (std::vector<std::string>{"Cannot create folder /nowhere: Permission denied"}));
  EXPECT_EQ(view.calls, (std::vector<std::string>{"show"}));
}

TEST(MessageBoard, KeepsABoundedNumberOfLinesDroppingTheOldest) {
  MessageBoard board;
  RecordingView view;
  board.Attach(&view);
  for (std::size_t i = 0; i < MessageBoard::kMaxLines + 3; ++i) board.Post(std::to_string(i));
  ASSERT_EQ(board.Lines().size(), MessageBoard::kMaxLines);
  EXPECT_EQ(board.Lines().front(), "3");
  EXPECT_EQ(view.text.size(), MessageBoard::kMaxLines);
  EXPECT_EQ(view.text.front(), "3");
  EXPECT_EQ(view.text.back(), std::to_string(MessageBoard::kMaxLines + 2));
}

}  // namespace
}  // namespace halvex::appkit
