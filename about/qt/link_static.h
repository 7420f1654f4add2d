#pragma once

#include <QApplication>
#include <QCursor>
#include <QFont>
#include <QObject>
#include <QPointer>
#include <functional>
#include <optional>
#include <string>

#include "about/link_colour.h"
#include "about/link_opener.h"
#include "port/message_sink.h"

class QLabel;

namespace quorvel::gui {

// Turns a static text of a dialog into a link: underlined, in the link colour,
// in the hover colour with a hand cursor while the mouse is over it, with its
// target in a tooltip. A click opens the target; a successful open shows the
// visited colour, a failed one beeps and explains why.
class CLinkStatic : public QObject {
  Q_OBJECT

 public:
  using BeepHook = std::function<void()>;

  CLinkStatic(LinkOpener& opener, MessageSink& messages, BeepHook beep = &QApplication::beep);
  ~CLinkStatic() override;

  // Takes over a text control made from a dialog template. Text and target
  // complete each other: an empty target becomes the text, an empty text the
  // target.
  void Attach(QLabel* label);

  // Changes what a click opens and the tooltip shows; the text stays.
  void SetTarget(const std::string& target);
  void MarkVisited(bool visited);

  const std::string& Target() const { return m_target; }
  bool IsVisited() const { return m_visited; }
  bool IsMouseOver() const { return m_mouseOver; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void FitToText();
  void LoadHandCursor();
  void OnMouseMove(const QPoint& position);
  void OnColourRequest();
  void OnClick();
  void ShowOpenError(int code);
  void CancelHover();
  void Redraw();

  LinkOpener& m_opener;
  MessageSink& m_messages;
  BeepHook m_beep;

  LinkColours m_colours;
  bool m_mouseOver = false;
  bool m_visited = false;
  bool m_underline = true;
  bool m_fitToText = true;
  std::string m_target;
  QFont m_font;
  std::optional<QCursor> m_handCursor;
  QPointer<QLabel> m_label;
};

}  // namespace quorvel::gui
