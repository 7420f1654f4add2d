#pragma once

#include <string>
#include <vector>

#include "controls/controls.h"

namespace quorvel {

// Controls without a window, for the command line: the logic runs over them exactly as
// over the window's widgets, and the caller reads what they hold.

// Keeps its rows in order; it has no selection and no caret to show.
class RowList final : public ListBox {
 public:
  int AddString(const std::string& text) override {
    rows_.push_back(text);
    return GetCount() - 1;
  }
  int InsertString(int index, const std::string& text) override {
    if (index == kError) return AddString(text);
    if (index < 0 || index > GetCount()) return kError;
    rows_.insert(rows_.begin() + index, text);
    return index;
  }
  int DeleteString(int index) override {
    if (index < 0 || index >= GetCount()) return kError;
    rows_.erase(rows_.begin() + index);
    return GetCount();
  }
  int GetCount() const override { return static_cast<int>(rows_.size()); }
  int GetCurSel() const override { return kError; }
  void SetCurSel(int) override {}
  void SetCaretIndex(int) override {}
  std::string GetText(int index) const override {
    if (index < 0 || index >= GetCount()) return std::string();
    return rows_[static_cast<std::size_t>(index)];
  }

 private:
  std::vector<std::string> rows_;
};

class ValueCheckBox final : public CheckBox {
 public:
  explicit ValueCheckBox(int state = 0) : state_(state) {}
  int GetCheck() const override { return state_; }
  void SetCheck(int state) override { state_ = state; }

 private:
  int state_;
};

class TextEditBox final : public EditBox {
 public:
  std::string GetText() const override { return text_; }
  void SetText(const std::string& text) override { text_ = text; }

 private:
  std::string text_;
};

}  // namespace quorvel
