#pragma once

#include <string>

namespace quorvel {

// The dialog controls that the program's logic reads and changes, seen without
// the toolkit. The Qt dialogs implement them over their widgets; tests use
// plain fakes. Indices and results follow the list-box conventions the logic
// was written for.

class ListBox {
 public:
  static constexpr int kError = -1;  // no selection, or a bad index

  virtual ~ListBox() = default;
  // Appends at the end; returns the new entry's index.
  virtual int AddString(const std::string& text) = 0;
  // Inserts before index; an entry selected at or after index moves down with
  // its entry. Returns the index used, or kError.
  virtual int InsertString(int index, const std::string& text) = 0;
  // Deletes the entry; the selection goes if it was on that entry. Returns the
  // number of entries left, or kError when there is no such entry.
  virtual int DeleteString(int index) = 0;
  virtual int GetCount() const = 0;
  // The selected entry, or kError.
  virtual int GetCurSel() const = 0;
  // Selects the entry (kError clears the selection).
  virtual void SetCurSel(int index) = 0;
  // Moves the focus rectangle to the entry and scrolls it fully into view.
  virtual void SetCaretIndex(int index) = 0;
  virtual std::string GetText(int index) const = 0;
};

class CheckBox {
 public:
  virtual ~CheckBox() = default;
  // 0 off, 1 on.
  virtual int GetCheck() const = 0;
  virtual void SetCheck(int state) = 0;
};

class EditBox {
 public:
  virtual ~EditBox() = default;
  virtual std::string GetText() const = 0;
  virtual void SetText(const std::string& text) = 0;
};

}  // namespace quorvel
