#pragma once

#include <string>
#include <vector>

#include "controls/controls.h"

namespace quorvel::testing {

// A list box that keeps its entries, selection and caret the way the logic
// expects: the selection follows its entry when others are inserted or
// deleted before it, and goes when its own entry is deleted.
class FakeListBox final : public ListBox {
 public:
  int AddString(const std::string& text) override {
    entries.push_back(text);
    return static_cast<int>(entries.size()) - 1;
  }

  int InsertString(int index, const std::string& text) override {
    if (index == kError) return AddString(text);  // -1 appends
    if (index < 0 || index > GetCount()) return kError;
    entries.insert(entries.begin() + index, text);
    if (selection != kError && selection >= index) ++selection;
    if (caret != kError && caret >= index) ++caret;
    return index;
  }

  int DeleteString(int index) override {
    if (index < 0 || index >= GetCount()) return kError;
    entries.erase(entries.begin() + index);
    if (selection == index) {
      selection = kError;
    } else if (selection > index) {
      --selection;
    }
    if (caret > index) --caret;
    if (caret >= GetCount()) caret = GetCount() - 1;
    return GetCount();
  }

  int GetCount() const override { return static_cast<int>(entries.size()); }
  int GetCurSel() const override { return selection; }

  void SetCurSel(int index) override {
    selection = (index >= 0 && index < GetCount()) ? index : kError;
    if (selection != kError) caret = selection;
  }

  void SetCaretIndex(int index) override {
    if (index >= 0 && index < GetCount()) {
      caret = index;
      ++caretMoves;
    }
  }

  std::string GetText(int index) const override {
    if (index < 0 || index >= GetCount()) return std::string();
    return entries[static_cast<std::size_t>(index)];
  }

  std::vector<std::string> entries;
  int selection = kError;
  int caret = kError;
  int caretMoves = 0;
};

class FakeCheckBox final : public CheckBox {
 public:
  int GetCheck() const override { return state; }
  void SetCheck(int newState) override { state = newState; }

  int state = 0;
};

class FakeEditBox final : public EditBox {
 public:
  std::string GetText() const override { return text; }
  void SetText(const std::string& newText) override {
    text = newText;
    ++setCount;
  }

  std::string text;
  int setCount = 0;
};

}  // namespace quorvel::testing
