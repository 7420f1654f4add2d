#pragma once

#include "app/qt/text_list_model.h"
#include "controls/controls.h"

class QAbstractButton;
class QLineEdit;
class QListView;

namespace quorvel::gui {

// A list box over a single-selection QListView with its own text model.
class ListViewBox final : public ListBox {
 public:
  explicit ListViewBox(QListView* view);

  int AddString(const std::string& text) override;
  int InsertString(int index, const std::string& text) override;
  int DeleteString(int index) override;
  int GetCount() const override;
  int GetCurSel() const override;
  void SetCurSel(int index) override;
  void SetCaretIndex(int index) override;
  std::string GetText(int index) const override;

  QListView* view() const { return view_; }
  TextListModel* model() const { return model_; }

 private:
  QListView* view_;
  TextListModel* model_;
};

class ButtonCheckBox final : public CheckBox {
 public:
  explicit ButtonCheckBox(QAbstractButton* button) : button_(button) {}
  int GetCheck() const override;
  void SetCheck(int state) override;

 private:
  QAbstractButton* button_;
};

// The text it is given is bytes: shown as text, and given back byte for byte
// unless the user changed it.
class LineEditBox final : public EditBox {
 public:
  explicit LineEditBox(QLineEdit* edit) : edit_(edit) {}
  std::string GetText() const override;
  void SetText(const std::string& text) override;

 private:
  QLineEdit* edit_;
  std::string shown_;  // the bytes last set
};

}  // namespace quorvel::gui
