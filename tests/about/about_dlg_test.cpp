#include "about/qt/about_dlg.h"

#include <QFontMetrics>
#include <QImage>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>

#include <gtest/gtest.h>

#include "about/open_result.h"
#include "link_fakes.h"
#include "link_paint.h"
#include "res/dialog_template.h"
#include "res/publisher.h"
#include "res/qt/dialog_builder.h"

namespace quorvel::gui {
namespace {

void Click(QWidget* widget) {
  QMouseEvent press(QEvent::MouseButtonPress, QPointF(1, 1),
                    QPointF(widget->mapToGlobal(QPoint(1, 1))), Qt::LeftButton, Qt::LeftButton,
                    Qt::NoModifier);
  QCoreApplication::sendEvent(widget, &press);
}

QLabel* Link(const QDialog& dialog, int id) {
  return dialog.findChild<QLabel*>(QStringLiteral("control%1").arg(id));
}

class AboutDlgTest : public ::testing::Test {
 protected:
  testing::FakeLinkOpener opener_;
  testing::RecordingMessageSink messages_;
  int beeps_ = 0;
  CLinkStatic::BeepHook beep_ = [this] { ++beeps_; };
};

TEST_F(AboutDlgTest, LinksShowTheirTextsAndTargets) {
  CAboutDlg dialog(nullptr, opener_, messages_, beep_);
  EXPECT_EQ(dialog.windowTitle(), QStringLiteral("About Quorvel"));
  const struct {
    int id;
    const char* text;
    const char* target;
  } links[] = {
      {1024, res::kPublisherName, res::kHomePage},
      {1025, res::kFirstMailLink, res::kFirstMailLink},
      {1026, res::kSecondMailLink, res::kSecondMailLink},
  };
  dialog.show();
  for (const auto& link : links) {
    QLabel* label = Link(dialog, link.id);
    ASSERT_NE(label, nullptr) << link.id;
    EXPECT_EQ(label->text(), QString::fromUtf8(link.text)) << link.id;
    EXPECT_EQ(label->toolTip(), QString::fromUtf8(link.target)) << link.id;
    Click(label);
  }
  EXPECT_EQ(opener_.opened,
            (std::vector<std::string>{res::kHomePage, res::kFirstMailLink, res::kSecondMailLink}));
  EXPECT_TRUE(Link(dialog, 1025)->text().startsWith(QStringLiteral("mailto:")));
  EXPECT_TRUE(Link(dialog, 1026)->text().startsWith(QStringLiteral("mailto:")));
}

TEST_F(AboutDlgTest, LinksAreFittedFromTheirTemplateCorner) {
  CAboutDlg dialog(nullptr, opener_, messages_, beep_);
  const DialogUnits units(dialog.font());
  for (const auto& control : res::AboutDialogTemplate().controls) {
    if (control.kind != res::ControlKind::StaticText) continue;
    QLabel* label = Link(dialog, control.id);
    const QFontMetrics metrics(label->font());
    EXPECT_TRUE(label->font().underline()) << control.id;
    EXPECT_EQ(label->pos(), units.ToPixels(control.rect).topLeft()) << control.id;
    EXPECT_EQ(label->width(), metrics.horizontalAdvance(label->text())) << control.id;
  }
}

TEST_F(AboutDlgTest, LongLinksPushTheLogoAndOkAside) {
  CAboutDlg dialog(nullptr, opener_, messages_, beep_);
  const QWidget* logo = dialog.findChild<QLabel*>(QStringLiteral("unnamed"));
  const QWidget* ok = dialog.findChild<QPushButton*>(QStringLiteral("control1"));
  for (int id : {1024, 1025, 1026}) {
    const QRect link = Link(dialog, id)->geometry();
    EXPECT_LT(link.right(), logo->x()) << id;
    EXPECT_LT(link.right(), ok->x()) << id;
  }
  EXPECT_TRUE(dialog.rect().contains(logo->geometry()));
  EXPECT_TRUE(dialog.rect().contains(ok->geometry()));
}

TEST_F(AboutDlgTest, ShowsTheLogoAndTheProgramHasItsIcon) {
  CAboutDlg dialog(nullptr, opener_, messages_, beep_);
  const QLabel* logo = dialog.findChild<QLabel*>(QStringLiteral("unnamed"));
  ASSERT_NE(logo, nullptr);
  EXPECT_EQ(logo->pixmap().size(), QSize(80, 50));
  EXPECT_EQ(QPixmap(QStringLiteral(":/quorvel/icon.png")).size(), QSize(64, 64));
}

TEST_F(AboutDlgTest, OkHasTheFocusAndClosesTheDialog) {
  CAboutDlg dialog(nullptr, opener_, messages_, beep_);
  auto* ok = dialog.findChild<QPushButton*>(QStringLiteral("control1"));
  ASSERT_NE(ok, nullptr);
  EXPECT_EQ(dialog.focusWidget(), ok);
  EXPECT_TRUE(ok->isDefault());
  dialog.show();
  ok->click();
  EXPECT_FALSE(dialog.isVisible());
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
}

TEST_F(AboutDlgTest, FailedLinkReportsWhileTheDialogStaysOpen) {
  CAboutDlg dialog(nullptr, opener_, messages_, beep_);
  dialog.show();
  opener_.result = ERROR_FILE_NOT_FOUND;
  Click(Link(dialog, 1025));
  EXPECT_EQ(beeps_, 1);
  EXPECT_EQ(messages_.messages.size(), 1u);
  EXPECT_TRUE(dialog.isVisible());
}

TEST_F(AboutDlgTest, EveryOpeningStartsWithUnvisitedLinks) {
  {
    CAboutDlg first(nullptr, opener_, messages_, beep_);
    first.show();
    Click(Link(first, 1024));
    EXPECT_TRUE(testing::PaintsIn(Link(first, 1024), testing::kVisitedColour));
  }
  CAboutDlg second(nullptr, opener_, messages_, beep_);
  second.show();
  for (int id : {1024, 1025, 1026})
    EXPECT_TRUE(testing::PaintsIn(Link(second, id), testing::kLinkColour)) << id;
}

}  // namespace
}  // namespace quorvel::gui
