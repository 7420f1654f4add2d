#pragma once

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/clipboard.h"
#include "app/file_chooser.h"
#include "app/yes_no_question.h"
#include "commands/command_list.h"

namespace quorvel::testing {

// A file chooser that answers from a script and keeps every request.
class ScriptedFileChooser final : public FileChooser {
 public:
  std::optional<std::string> Choose(const Request& request) override {
    requests.push_back(request);
    if (answers.empty()) return std::nullopt;
    auto answer = answers.front();
    answers.pop_front();
    return answer;
  }

  std::deque<std::optional<std::string>> answers;  // nullopt: the user cancels
  std::vector<Request> requests;
};

// A yes/no question that answers from a script (No once it runs out) and keeps
// every question asked.
class ScriptedQuestion final : public YesNoQuestion {
 public:
  bool AskYesNo(const std::string& text) override {
    asked.push_back(text);
    if (answers.empty()) return false;
    const bool answer = answers.front();
    answers.pop_front();
    return answer;
  }

  std::deque<bool> answers;
  std::vector<std::string> asked;
};

// An Edit Command dialog stand-in: each run applies the next scripted edit to
// the record and ends with its result.
class ScriptedEditor final : public EditCommandRunner {
 public:
  struct Step {
    std::function<void(CardCommand&)> edit;
    int result;
  };
  int Run(CardCommand& record) override {
    ++runs;
    if (steps.empty()) return kCancel;
    Step step = std::move(steps.front());
    steps.pop_front();
    if (step.edit) step.edit(record);
    return step.result;
  }
  // A Reset entry takes the next step's result; its edit has no record to change.
  int RunOnReset() override {
    ++resetRuns;
    if (steps.empty()) return kCancel;
    const int result = steps.front().result;
    steps.pop_front();
    return result;
  }

  std::deque<Step> steps;
  int runs = 0;
  int resetRuns = 0;
};

// A clipboard that keeps what was copied last.
class RecordingClipboard final : public Clipboard {
 public:
  void SetText(const std::string& copied) override { text = copied; }

  std::string text;
};

}  // namespace quorvel::testing
