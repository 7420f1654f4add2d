#include "app/qt/text_list_model.h"

#include <QTextDocument>

#include "controls/field_text.h"

namespace quorvel::gui {

int TextListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : Count();
}

QVariant TextListModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= Count()) return {};
  if (role == Qt::DisplayRole) {
    return QString::fromStdString(ShownText(Text(index.row())));
  }
  if (role == Qt::ToolTipRole && tool_tip_) {
    const QString tip = QString::fromStdString(tool_tip_(index.row()));
    // Tooltips that look like markup are shown as markup: keep ours plain.
    return Qt::mightBeRichText(tip) ? Qt::convertFromPlainText(tip, Qt::WhiteSpaceNormal) : tip;
  }
  return {};
}

void TextListModel::Insert(int row, std::string text) {
  beginInsertRows(QModelIndex(), row, row);
  rows_.insert(rows_.begin() + row, std::move(text));
  endInsertRows();
}

void TextListModel::Remove(int row) {
  beginRemoveRows(QModelIndex(), row, row);
  rows_.erase(rows_.begin() + row);
  endRemoveRows();
}

}  // namespace quorvel::gui
