#include "res/qt/dialog_builder.h"

#include <QCheckBox>
#include <QDialog>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <algorithm>

namespace quorvel::gui {
namespace {

using res::ControlKind;

bool Has(const res::ControlTemplate& c, std::uint32_t style) {
  return (c.style & style) != 0;
}

QWidget* MakeControl(QDialog& dialog, const res::ControlTemplate& c) {
  const QString text = QString::fromUtf8(c.text);
  switch (c.kind) {
    case ControlKind::PushButton: {
      auto* button = new QPushButton(text, &dialog);
      button->setAutoDefault(true);
      button->setDefault(Has(c, res::kDefaultButton));
      return button;
    }
    case ControlKind::Edit: {
      if (Has(c, res::kMultiLine)) {
        auto* edit = new QPlainTextEdit(&dialog);
        edit->setReadOnly(Has(c, res::kReadOnly));
        edit->setTabChangesFocus(true);
        edit->setLineWrapMode(Has(c, res::kAutoHScroll) ? QPlainTextEdit::NoWrap
                                                        : QPlainTextEdit::WidgetWidth);
        edit->setVerticalScrollBarPolicy(Has(c, res::kVScroll) ? Qt::ScrollBarAlwaysOn
                                                               : Qt::ScrollBarAlwaysOff);
        return edit;
      }
      auto* edit = new QLineEdit(text, &dialog);
      edit->setReadOnly(Has(c, res::kReadOnly));
      edit->setFrame(Has(c, res::kBorder));
      return edit;
    }
    case ControlKind::CheckBox:
      return new QCheckBox(text, &dialog);
    case ControlKind::RadioButton:
      return new QRadioButton(text, &dialog);
    case ControlKind::StaticText: {
      auto* label = new QLabel(text, &dialog);
      label->setTextFormat(Qt::PlainText);
      return label;
    }
    case ControlKind::StaticBitmap: {
      auto* label = new QLabel(&dialog);
      label->setPixmap(LogoPixmap());
      label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
      if (Has(c, res::kSunken)) label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
      return label;
    }
    case ControlKind::ListBox: {
      // The dialog gives the list its model; rows are plain text of one height.
      auto* list = new QListView(&dialog);
      list->setSelectionMode(QAbstractItemView::SingleSelection);
      list->setEditTriggers(QAbstractItemView::NoEditTriggers);
      list->setUniformItemSizes(true);
      list->setVerticalScrollBarPolicy(Has(c, res::kVScroll) ? Qt::ScrollBarAsNeeded
                                                             : Qt::ScrollBarAlwaysOff);
      list->setHorizontalScrollBarPolicy(Has(c, res::kHScroll) ? Qt::ScrollBarAsNeeded
                                                               : Qt::ScrollBarAlwaysOff);
      return list;
    }
    case ControlKind::GroupBox: {
      // A frame drawn around other controls: it must not take their clicks.
      auto* group = new QGroupBox(text, &dialog);
      group->setAttribute(Qt::WA_TransparentForMouseEvents);
      group->setFocusPolicy(Qt::NoFocus);
      return group;
    }
  }
  return nullptr;
}

}  // namespace

DialogUnits::DialogUnits(const QFont& font) {
  const QFontMetrics metrics(font);
  const int alphabet = metrics.horizontalAdvance(
      QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
  base_x_ = (alphabet / 26 + 1) / 2;  // average width of the 52 letters, rounded
  base_y_ = metrics.height();
}

QRect DialogUnits::ToPixels(const res::Rect& r) const {
  return QRect(r.x * base_x_ / 4, r.y * base_y_ / 8, r.width * base_x_ / 4, r.height * base_y_ / 8);
}

QSize DialogUnits::ToPixels(int width, int height) const {
  return QSize(width * base_x_ / 4, height * base_y_ / 8);
}

QWidget* BuiltDialog::Control(int id) const {
  auto it = by_id_.find(id);
  return it == by_id_.end() ? nullptr : it->second;
}

QRect BuiltDialog::Stretched(const Placed& placed, const QSize& size) const {
  const int extra_width = std::max(0, size.width() - template_size_.width());
  const int extra_height = std::max(0, size.height() - template_size_.height());
  const QRect& r = placed.rect;
  const res::Rect moved = res::Stretched({r.x(), r.y(), r.width(), r.height()}, placed.stretch,
                                         extra_width, extra_height);
  return QRect(moved.x, moved.y, moved.width, moved.height);
}

QRect BuiltDialog::PlaceIn(QWidget* control, const QSize& size) const {
  for (const Placed& placed : stretching_) {
    if (placed.widget == control) return Stretched(placed, size);
  }
  return control->geometry();
}

void BuiltDialog::LayOut(const QSize& size) const {
  for (const Placed& placed : stretching_) placed.widget->setGeometry(Stretched(placed, size));
}

BuiltDialog BuildDialog(QDialog& dialog, const res::DialogTemplate& tpl) {
  BuiltDialog built;
  const DialogUnits units(dialog.font());
  dialog.setWindowTitle(QString::fromUtf8(tpl.caption));
  built.template_size_ = units.ToPixels(tpl.width, tpl.height);
  dialog.setFixedSize(built.template_size_);

  QWidget* previous_tab_stop = nullptr;
  std::vector<QWidget*> group_boxes;
  for (const auto& c : tpl.controls) {
    QWidget* widget = MakeControl(dialog, c);
    QRect rect = units.ToPixels(c.rect);
    // Captions were measured for another font; where ours is wider, a caption
    // grows to the right rather than being cut.
    if (c.kind == ControlKind::StaticText || c.kind == ControlKind::CheckBox ||
        c.kind == ControlKind::RadioButton) {
      rect.setWidth(std::max(rect.width(), widget->sizeHint().width()));
    }
    widget->setGeometry(rect);
    const res::Stretch& s = c.stretch;
    if (s.left != 0 || s.top != 0 || s.right != 0 || s.bottom != 0)
      built.stretching_.push_back({widget, rect, s});
    widget->setObjectName(c.id == res::kNoId ? QStringLiteral("unnamed")
                                             : QStringLiteral("control%1").arg(c.id));
    if (c.kind == ControlKind::GroupBox) group_boxes.push_back(widget);
    if (c.kind == ControlKind::StaticBitmap && built.bitmap_ == nullptr)
      built.bitmap_ = static_cast<QLabel*>(widget);

    if (Has(c, res::kTabStop)) {
      widget->setFocusPolicy(Qt::StrongFocus);
      if (previous_tab_stop != nullptr) QWidget::setTabOrder(previous_tab_stop, widget);
      previous_tab_stop = widget;
    } else if (c.kind == ControlKind::RadioButton || c.kind == ControlKind::CheckBox ||
               c.kind == ControlKind::PushButton || c.kind == ControlKind::Edit ||
               c.kind == ControlKind::ListBox) {
      widget->setFocusPolicy(Qt::ClickFocus);
    } else {
      widget->setFocusPolicy(Qt::NoFocus);
    }

    if (c.id == res::kNoId) {
      built.unnamed_.push_back(widget);
    } else {
      built.by_id_[c.id] = widget;
    }
  }
  // Frames sit behind the controls they surround.
  for (QWidget* group : group_boxes) group->lower();
  return built;
}

QPixmap LogoPixmap() {
  return QPixmap(QStringLiteral(":/quorvel/logo.png"));
}

}  // namespace quorvel::gui
