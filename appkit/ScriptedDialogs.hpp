// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Dialogs answered in advance, for tests. Each question takes the next
// queued answer of its kind; a question with nothing queued gets the
// cautious answer (No, Cancel, no file). Every question is recorded, so a
// test can check what the user would have seen.

#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "appkit/Dialogs.hpp"

namespace halvex::appkit {

class ScriptedDialogs final : public Dialogs {
 public:
  struct Asked {
    std::string kind;  // "confirm", "ask", "tell", "open", "save"
    std::string title;
    std::string text;  // the message, or the filter of a file dialog
  };

  std::deque<bool> confirms;
  std::deque<Answer> answers;
  std::deque<std::optional<std::string>> files;  // for OpenFile and SaveFile alike
  std::vector<Asked> asked;

  bool Confirm(const std::string& title, const std::string& text) override {
    asked.push_back({"confirm", title, text});
    if (confirms.empty()) return false;
    const bool yes = confirms.front();
    confirms.pop_front();
    return yes;
  }

  Answer Ask(const std::string& title, const std::string& text) override {
    asked.push_back({"ask", title, text});
    if (answers.empty()) return Answer::kCancel;
    const Answer a = answers.front();
    answers.pop_front();
    return a;
  }

  void Tell(Notice /*kind*/, const std::string& title, const std::string& text) override {
    asked.push_back({"tell", title, text});
  }

  std::optional<std::string> OpenFile(const FileRequest& request) override {
    return NextFile("open", request);
  }

  std::optional<std::string> SaveFile(const FileRequest& request) override {
    return NextFile("save", request);
  }

  // The texts of the notices shown so far, in order.
  std::vector<std::string> Told() const {
    std::vector<std::string> out;
    for (const auto& a : asked)
      if (a.kind == "tell") out.push_back(a.text);
    return out;
  }

 private:
  std::optional<std::string> NextFile(const char* kind, const FileRequest& request) {
    asked.push_back({kind, request.title, request.filter});
    if (files.empty()) return std::nullopt;
    auto f = files.front();
    files.pop_front();
    return f;
  }
};

}  // namespace halvex::appkit
