#include "about/qt/link_static.h"

#include <QDialog>
#include <QFontMetrics>
#include <QImage>
#include <QLabel>
#include <QMouseEvent>

#include <gtest/gtest.h>

#include "about/open_result.h"
#include "link_fakes.h"
#include "link_paint.h"

namespace quorvel::gui {
namespace {

void SendMouse(QLabel* label, QEvent::Type type, QPoint position) {
  const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
  QMouseEvent event(type, QPointF(position), QPointF(label->mapToGlobal(position)), button, button,
                    Qt::NoModifier);
  QCoreApplication::sendEvent(label, &event);
}

class LinkStaticTest : public ::testing::Test {
 protected:
  LinkStaticTest() {
    label_ = new QLabel(QStringLiteral("mailto:someone@example.org"), &dialog_);
    label_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label_->setGeometry(20, 30, 300, 40);
    dialog_.resize(400, 200);
  }

  int TextWidth() const { return QFontMetrics(label_->font()).horizontalAdvance(label_->text()); }

  QDialog dialog_;
  QLabel* label_;
  testing::FakeLinkOpener opener_;
  testing::RecordingMessageSink messages_;
  int beeps_ = 0;
  CLinkStatic link_{opener_, messages_, [this] { ++beeps_; }};
};

TEST_F(LinkStaticTest, AttachmentMakesTheTextALink) {
  link_.Attach(label_);
  EXPECT_EQ(link_.Target(), "mailto:someone@example.org");
  EXPECT_EQ(label_->toolTip(), label_->text());
  EXPECT_TRUE(label_->font().underline());
  EXPECT_TRUE(label_->hasMouseTracking());
  EXPECT_EQ(label_->cursor().shape(), Qt::PointingHandCursor);
  // Fitted to the text from its top-left corner.
  EXPECT_EQ(label_->geometry(), QRect(20, 30, TextWidth(), QFontMetrics(label_->font()).height()));
}

TEST_F(LinkStaticTest, RightAlignedLinkKeepsItsRightEdge) {
  label_->setAlignment(Qt::AlignRight | Qt::AlignTop);
  link_.Attach(label_);
  EXPECT_EQ(label_->geometry().left(), 320 - TextWidth());
  EXPECT_EQ(label_->geometry().right(), 319);
}

TEST_F(LinkStaticTest, TargetSetBeforeAttachmentKeepsTheText) {
  link_.SetTarget("https://example.org/");
  link_.Attach(label_);
  EXPECT_EQ(label_->text(), QStringLiteral("mailto:someone@example.org"));
  EXPECT_EQ(label_->toolTip(), QStringLiteral("https://example.org/"));
}

TEST_F(LinkStaticTest, EmptyTextShowsTheTarget) {
  label_->clear();
  link_.SetTarget("https://example.org/");
  link_.Attach(label_);
  EXPECT_EQ(label_->text(), QStringLiteral("https://example.org/"));
}

TEST_F(LinkStaticTest, NewTargetChangesTooltipAndClickButNotTheText) {
  dialog_.show();
  link_.Attach(label_);
  label_->resize(5, 5);
  link_.SetTarget("https://example.org/");
  EXPECT_EQ(label_->text(), QStringLiteral("mailto:someone@example.org"));
  EXPECT_EQ(label_->toolTip(), QStringLiteral("https://example.org/"));
  EXPECT_EQ(label_->width(), TextWidth());  // fitted again
  SendMouse(label_, QEvent::MouseButtonPress, QPoint(1, 1));
  EXPECT_EQ(opener_.opened, std::vector<std::string>{"https://example.org/"});
}

TEST_F(LinkStaticTest, SuccessfulClickShowsTheVisitedColour) {
  dialog_.show();
  link_.Attach(label_);
  EXPECT_TRUE(testing::PaintsIn(label_, testing::kLinkColour));
  SendMouse(label_, QEvent::MouseButtonPress, QPoint(1, 1));
  EXPECT_TRUE(link_.IsVisited());
  EXPECT_EQ(beeps_, 0);
  EXPECT_TRUE(messages_.messages.empty());
  EXPECT_TRUE(testing::PaintsIn(label_, testing::kVisitedColour));
  EXPECT_FALSE(testing::PaintsIn(label_, testing::kLinkColour));
}

TEST_F(LinkStaticTest, FailedClickBeepsExplainsAndClearsVisited) {
  dialog_.show();
  link_.Attach(label_);
  link_.MarkVisited(true);
  opener_.result = SE_ERR_NOASSOC;
  SendMouse(label_, QEvent::MouseButtonPress, QPoint(1, 1));
  EXPECT_FALSE(link_.IsVisited());
  EXPECT_EQ(beeps_, 1);
  EXPECT_EQ(messages_.messages,
            std::vector<std::string>{"Unable to open hyperlink:\n\nThere is no application "
                                     "associated\nwith the given filename extension."});
  // The next click tries again.
  opener_.result = kOpened;
  SendMouse(label_, QEvent::MouseButtonPress, QPoint(1, 1));
  EXPECT_EQ(opener_.opened.size(), 2u);
  EXPECT_TRUE(link_.IsVisited());
}

TEST_F(LinkStaticTest, EmptyLinkReportsWhatOpeningNothingGives) {
  dialog_.show();
  label_->clear();
  link_.Attach(label_);
  opener_.result = ERROR_FILE_NOT_FOUND;
  SendMouse(label_, QEvent::MouseButtonPress, QPoint(0, 0));
  EXPECT_EQ(opener_.opened, std::vector<std::string>{""});
  EXPECT_EQ(
      messages_.messages,
      std::vector<std::string>{"Unable to open hyperlink:\n\nThe specified file was not found."});
}

TEST_F(LinkStaticTest, HoverHoldsTheMouseUntilItLeaves) {
  dialog_.show();
  link_.Attach(label_);
  link_.MarkVisited(true);
  SendMouse(label_, QEvent::MouseMove, QPoint(2, 2));
  EXPECT_TRUE(link_.IsMouseOver());
  EXPECT_EQ(QWidget::mouseGrabber(), label_);
  const QColor hover = QApplication::palette().color(QPalette::Highlight);
  EXPECT_TRUE(testing::PaintsIn(label_, hover));

  SendMouse(label_, QEvent::MouseMove, QPoint(3, 3));  // still inside
  EXPECT_EQ(QWidget::mouseGrabber(), label_);

  SendMouse(label_, QEvent::MouseMove, QPoint(-4, 3));
  EXPECT_FALSE(link_.IsMouseOver());
  EXPECT_EQ(QWidget::mouseGrabber(), nullptr);
  EXPECT_TRUE(testing::PaintsIn(label_, testing::kVisitedColour));
}

TEST_F(LinkStaticTest, PressBesideTheHeldLinkOnlyLeavesIt) {
  dialog_.show();
  link_.Attach(label_);
  SendMouse(label_, QEvent::MouseMove, QPoint(2, 2));
  SendMouse(label_, QEvent::MouseButtonPress, QPoint(2, 200));
  EXPECT_TRUE(opener_.opened.empty());
  EXPECT_FALSE(link_.IsMouseOver());
  EXPECT_EQ(QWidget::mouseGrabber(), nullptr);
}

TEST_F(LinkStaticTest, MessageBoxAfterFailureGetsTheMouseBack) {
  // Who holds the mouse while the box is up.
  class GrabberAtMessage final : public MessageSink {
   public:
    void ShowMessage(const std::string&) override { grabber = QWidget::mouseGrabber(); }
    QWidget* grabber = nullptr;
  } sink;
  CLinkStatic link(opener_, sink, [] {});
  dialog_.show();
  link.Attach(label_);
  opener_.result = SE_ERR_NOASSOC;
  SendMouse(label_, QEvent::MouseMove, QPoint(2, 2));
  ASSERT_EQ(QWidget::mouseGrabber(), label_);
  SendMouse(label_, QEvent::MouseButtonPress, QPoint(2, 2));
  EXPECT_EQ(sink.grabber, nullptr);
  EXPECT_FALSE(link.IsMouseOver());
}

}  // namespace
}  // namespace quorvel::gui
