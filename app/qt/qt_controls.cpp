#include "app/qt/qt_controls.h"

#include <QAbstractButton>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QListView>

#include "controls/field_text.h"

namespace quorvel::gui {

ListViewBox::ListViewBox(QListView* view) : view_(view), model_(new TextListModel(view)) {
  view_->setModel(model_);
}

int ListViewBox::AddString(const std::string& text) {
  const int row = model_->Count();
  model_->Insert(row, text);
  return row;
}

int ListViewBox::InsertString(int index, const std::string& text) {
  if (index == kError) return AddString(text);
  if (index < 0 || index > model_->Count()) return kError;
  model_->Insert(index, text);  // the selection model moves the selection with its row
  return index;
}

int ListViewBox::DeleteString(int index) {
  if (index < 0 || index >= model_->Count()) return kError;
  model_->Remove(index);
  return model_->Count();
}

int ListViewBox::GetCount() const {
  return model_->Count();
}

int ListViewBox::GetCurSel() const {
  const QModelIndexList selected = view_->selectionModel()->selectedRows();
  return selected.isEmpty() ? kError : selected.first().row();
}

void ListViewBox::SetCurSel(int index) {
  if (index < 0 || index >= model_->Count()) {
    view_->selectionModel()->clearSelection();
    return;
  }
  const QModelIndex row = model_->index(index);
  view_->selectionModel()->setCurrentIndex(row, QItemSelectionModel::ClearAndSelect);
  view_->scrollTo(row);
}

void ListViewBox::SetCaretIndex(int index) {
  if (index < 0 || index >= model_->Count()) return;
  const QModelIndex row = model_->index(index);
  view_->selectionModel()->setCurrentIndex(row, QItemSelectionModel::NoUpdate);
  view_->scrollTo(row, QAbstractItemView::EnsureVisible);
}

std::string ListViewBox::GetText(int index) const {
  return index >= 0 && index < model_->Count() ? model_->Text(index) : std::string();
}

int ButtonCheckBox::GetCheck() const {
  return button_->isChecked() ? 1 : 0;
}

void ButtonCheckBox::SetCheck(int state) {
  button_->setChecked(state != 0);
}

std::string LineEditBox::GetText() const {
  return EditedBytes(edit_->text().toStdString(), shown_);
}

void LineEditBox::SetText(const std::string& text) {
  shown_ = text;
  edit_->setText(QString::fromStdString(ShownText(text)));
}

}  // namespace quorvel::gui
