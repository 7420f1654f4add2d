#pragma once

#include <QAbstractListModel>
#include <deque>
#include <functional>
#include <string>

namespace quorvel::gui {

// Rows of plain text for a list view. The output list may grow to hundreds of
// thousands of rows, so rows are kept as compact byte strings and turned into
// QStrings only when a row is painted.
class TextListModel final : public QAbstractListModel {
  Q_OBJECT

 public:
  using QAbstractListModel::QAbstractListModel;

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role) const override;

  // Where a row's tooltip comes from, asked only when the tooltip is shown.
  void SetToolTips(std::function<std::string(int row)> toolTip) { tool_tip_ = std::move(toolTip); }

  void Insert(int row, std::string text);
  void Remove(int row);
  const std::string& Text(int row) const { return rows_[static_cast<std::size_t>(row)]; }
  int Count() const { return static_cast<int>(rows_.size()); }

 private:
  std::deque<std::string> rows_;
  std::function<std::string(int row)> tool_tip_;
};

}  // namespace quorvel::gui
