#pragma once

#include <QObject>

class QListView;
class QModelIndex;
class QString;

namespace quorvel::gui {

// Gives a list's entries that the list shows only in part their whole text as tooltip.
class FullTextToolTips final : public QObject {
  Q_OBJECT

 public:
  // Watches the list's tooltip requests; the list owns this object.
  explicit FullTextToolTips(QListView* list);

  // True when the entry's whole text is in view.
  static bool ShownWhole(const QListView& list, const QModelIndex& index);
  // The width an entry of the list needs to show `text` whole, its margins included.
  static int EntryWidth(const QListView& list, const QString& text);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QListView* list_;
};

}  // namespace quorvel::gui
