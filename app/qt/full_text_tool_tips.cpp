#include "app/qt/full_text_tool_tips.h"

#include <QHelpEvent>
#include <QListView>
#include <QStyle>
#include <QToolTip>

namespace quorvel::gui {

FullTextToolTips::FullTextToolTips(QListView* list) : QObject(list), list_(list) {
  list->viewport()->installEventFilter(this);
}

int FullTextToolTips::EntryWidth(const QListView& list, const QString& text) {
  // The item delegate keeps this margin on either side of the text.
  const int margin = list.style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, &list) + 1;
  return list.fontMetrics().horizontalAdvance(text) + 2 * margin;
}

bool FullTextToolTips::ShownWhole(const QListView& list, const QModelIndex& index) {
  const int needed = EntryWidth(list, index.data(Qt::DisplayRole).toString());
  const QRect item = list.visualRect(index);
  return item.left() >= 0 && needed <= item.width() &&
         item.left() + needed <= list.viewport()->width();
}

bool FullTextToolTips::eventFilter(QObject* watched, QEvent* event) {
  // Only the type is looked at first: the list may be going away as events pass.
  if (event->type() != QEvent::ToolTip || watched != list_->viewport()) {
    return QObject::eventFilter(watched, event);
  }
  auto* help = static_cast<QHelpEvent*>(event);
  const QModelIndex index = list_->indexAt(help->pos());
  if (index.isValid() && !ShownWhole(*list_, index)) {
    QToolTip::showText(help->globalPos(), index.data(Qt::DisplayRole).toString(), list_->viewport(),
                       list_->visualRect(index));
  } else {
    QToolTip::hideText();
  }
  return true;
}

}  // namespace quorvel::gui
