#pragma once

#include <QFont>
#include <QPoint>
#include <QRect>
#include <QWidget>
#include <map>
#include <vector>

#include "res/dialog_template.h"

class QDialog;
class QLabel;

namespace quorvel::gui {

// Dialog units of a font: a quarter of the average character width of the
// alphabet horizontally, an eighth of the font height vertically.
class DialogUnits {
 public:
  explicit DialogUnits(const QFont& font);
  QRect ToPixels(const res::Rect& rect) const;
  QSize ToPixels(int width, int height) const;
  int baseX() const { return base_x_; }
  int baseY() const { return base_y_; }

 private:
  int base_x_;
  int base_y_;
};

// The widgets of a dialog made from its template.
class BuiltDialog {
 public:
  QWidget* Control(int id) const;
  template <class T>
  T* Get(int id) const {
    return qobject_cast<T*>(Control(id));
  }
  // Controls without identifier, in template order.
  const std::vector<QWidget*>& UnnamedControls() const { return unnamed_; }
  // The first bitmap control, or null.
  QLabel* Bitmap() const { return bitmap_; }
  // The dialog's size as its template gives it.
  QSize TemplateSize() const { return template_size_; }
  // A control's place, in pixels, in a dialog of `size` (at least the template's size).
  QRect PlaceIn(QWidget* control, const QSize& size) const;
  // Moves and sizes the controls that follow the dialog for a dialog of `size`.
  void LayOut(const QSize& size) const;

 private:
  friend BuiltDialog BuildDialog(QDialog& dialog, const res::DialogTemplate& tpl);
  struct Placed {
    QWidget* widget;
    QRect rect;  // at the template's size
    res::Stretch stretch;
  };
  QRect Stretched(const Placed& placed, const QSize& size) const;

  std::map<int, QWidget*> by_id_;
  std::vector<QWidget*> unnamed_;
  std::vector<Placed> stretching_;  // the controls that follow a larger dialog
  QSize template_size_;
  QLabel* bitmap_ = nullptr;
};

// Creates every control of the template as a child of the dialog, placed in
// dialog units of the dialog's font, with the template's order as tab order,
// and gives the dialog its caption and fixed size.
BuiltDialog BuildDialog(QDialog& dialog, const res::DialogTemplate& tpl);

// The logo picture (bitmap 132); a null pixmap when the resource is missing.
QPixmap LogoPixmap();

}  // namespace quorvel::gui
