#include "about/qt/link_static.h"

#include <QEvent>
#include <QFontMetrics>
#include <QLabel>
#include <QMouseEvent>
#include <QPalette>

#include "about/fit_to_text.h"
#include "about/open_error.h"
#include "about/open_result.h"

namespace quorvel::gui {
namespace {

QColor ToQColor(ColourRef colour) {
  return QColor(RedOf(colour), GreenOf(colour), BlueOf(colour));
}

ColourRef ToColourRef(const QColor& colour) {
  return MakeColourRef(colour.red(), colour.green(), colour.blue());
}

// The alignment of a label read as the style bits of a static text control.
std::uint32_t AlignmentStyle(Qt::Alignment alignment) {
  std::uint32_t style = 0;
  if (alignment & Qt::AlignHCenter) {
    style |= SS_CENTER;
  } else if (alignment & Qt::AlignRight) {
    style |= SS_RIGHT;
  }
  if (alignment & Qt::AlignVCenter) style |= SS_CENTERIMAGE;
  return style;
}

}  // namespace

CLinkStatic::CLinkStatic(LinkOpener& opener, MessageSink& messages, BeepHook beep)
    : m_opener(opener),
      m_messages(messages),
      m_beep(std::move(beep)),
      m_colours{kLinkColour, kVisitedColour,
                ToColourRef(QApplication::palette().color(QPalette::Highlight))} {}

CLinkStatic::~CLinkStatic() {
  if (m_label && m_mouseOver) m_label->releaseMouse();
}

void CLinkStatic::Attach(QLabel* label) {
  m_label = label;
  // Mouse moves without a button pressed tell when the pointer comes and goes.
  label->setMouseTracking(true);

  if (m_target.empty()) m_target = label->text().toStdString();
  if (label->text().isEmpty()) label->setText(QString::fromStdString(m_target));

  m_font = label->font();
  m_font.setUnderline(m_underline);
  label->setFont(m_font);

  FitToText();
  LoadHandCursor();
  if (m_handCursor) label->setCursor(*m_handCursor);
  label->setToolTip(QString::fromStdString(m_target));
  label->installEventFilter(this);
}

void CLinkStatic::SetTarget(const std::string& target) {
  m_target = target;
  if (!m_label) return;
  FitToText();
  m_label->setToolTip(QString::fromStdString(m_target));
}

void CLinkStatic::MarkVisited(bool visited) {
  m_visited = visited;
  if (m_label) m_label->update();
}

void CLinkStatic::FitToText() {
  if (!m_label || !m_fitToText) return;
  const QRect geometry = m_label->geometry();
  const WindowRect window{geometry.left(), geometry.top(), geometry.left() + geometry.width(),
                          geometry.top() + geometry.height()};
  const QFontMetrics metrics(m_font);
  const WindowRect fitted =
      quorvel::FitToText(window, metrics.horizontalAdvance(m_label->text()), metrics.height(),
                         AlignmentStyle(m_label->alignment()));
  m_label->setGeometry(fitted.left, fitted.top, fitted.width(), fitted.height());
}

void CLinkStatic::LoadHandCursor() {
  if (m_handCursor) return;
  m_handCursor = QCursor(Qt::PointingHandCursor);
}

bool CLinkStatic::eventFilter(QObject* watched, QEvent* event) {
  if (watched != m_label) return false;
  switch (event->type()) {
    case QEvent::MouseMove:
      OnMouseMove(static_cast<QMouseEvent*>(event)->position().toPoint());
      break;
    case QEvent::MouseButtonPress: {
      const auto* mouse = static_cast<QMouseEvent*>(event);
      if (mouse->button() != Qt::LeftButton) break;
      const QPoint position = mouse->position().toPoint();
      // Holding the mouse, the link also sees presses beside it: those only
      // tell that the pointer has left.
      if (m_mouseOver && !m_label->rect().contains(position)) {
        OnMouseMove(position);
        break;
      }
      OnClick();
      return true;
    }
    case QEvent::Paint:
      OnColourRequest();
      break;
    case QEvent::Hide:
    case QEvent::WindowDeactivate:
      CancelHover();
      break;
    default:
      break;
  }
  return false;
}

void CLinkStatic::OnMouseMove(const QPoint& position) {
  if (m_mouseOver) {
    if (m_label->rect().contains(position)) return;
    m_mouseOver = false;
    m_label->releaseMouse();
    Redraw();
  } else {
    m_mouseOver = true;
    Redraw();
    // Holding the mouse delivers the move that leaves the link, wherever it goes.
    m_label->grabMouse();
  }
}

void CLinkStatic::OnColourRequest() {
  const QColor colour = ToQColor(ChooseTextColour(m_colours, m_mouseOver, m_visited));
  QPalette palette = m_label->palette();
  if (palette.color(QPalette::WindowText) == colour) return;
  palette.setColor(QPalette::WindowText, colour);
  m_label->setPalette(palette);
}

void CLinkStatic::OnClick() {
  const int result = m_opener.OpenTarget(m_target);
  m_visited = IsOpened(result);
  if (m_visited) {
    MarkVisited(true);
    return;
  }
  m_beep();
  ShowOpenError(result);
}

void CLinkStatic::ShowOpenError(int code) {
  // The message box takes the mouse: a link still holding it would keep the
  // box from its clicks.
  CancelHover();
  m_messages.ShowMessage(OpenErrorMessage(code));
}

void CLinkStatic::CancelHover() {
  if (!m_mouseOver) return;
  m_mouseOver = false;
  m_label->releaseMouse();
  Redraw();
}

void CLinkStatic::Redraw() {
  m_label->repaint();
}

}  // namespace quorvel::gui
