#pragma once

#include <string>

namespace quorvel {

// Where the program asks the user to decide: the program's modal message box
// with Yes and No, No the default button, Escape answering No. Returns once the
// user has answered: true for Yes.
class YesNoQuestion {
 public:
  virtual ~YesNoQuestion() = default;
  virtual bool AskYesNo(const std::string& text) = 0;
};

}  // namespace quorvel
