#include "about/qt/about_dlg.h"

#include <QLabel>
#include <QPushButton>
#include <algorithm>

#include "res/dialog_template.h"
#include "res/publisher.h"
#include "res/qt/dialog_builder.h"

namespace quorvel::gui {
namespace {

constexpr int kOkButton = 1;
constexpr int kHomePageLink = 1024;
constexpr int kMailLink = 1025;
constexpr int kSecondMailLink = 1026;
constexpr int kColumnGap = 4;  // dialog units between the links and the logo

}  // namespace

CAboutDlg::CAboutDlg(QWidget* parent, LinkOpener& opener, MessageSink& messages,
                     CLinkStatic::BeepHook beep)
    : QDialog(parent),
      m_secondMailLink(opener, messages, beep),
      m_mailLink(opener, messages, beep),
      m_homePageLink(opener, messages, beep) {
  const BuiltDialog controls = BuildDialog(*this, res::AboutDialogTemplate());
  auto* ok = controls.Get<QPushButton>(kOkButton);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);

  DoDataExchange(controls);
  OnInitDialog();
  MakeRoomForLinks(controls);
  ok->setFocus();
}

void CAboutDlg::DoDataExchange(const BuiltDialog& controls) {
  m_secondMailLink.Attach(controls.Get<QLabel>(kSecondMailLink));
  m_mailLink.Attach(controls.Get<QLabel>(kMailLink));
  m_homePageLink.Attach(controls.Get<QLabel>(kHomePageLink));
}

// A publisher's name or address longer than its field would run under the logo
// and the OK button: those move right, and the dialog widens, by as much.
void CAboutDlg::MakeRoomForLinks(const BuiltDialog& controls) {
  QWidget* logo = controls.Bitmap();
  QWidget* ok = controls.Control(kOkButton);
  int links_right = 0;
  for (int id : {kHomePageLink, kMailLink, kSecondMailLink})
    links_right = std::max(links_right, controls.Control(id)->geometry().right() + 1);
  const int gap = DialogUnits(font()).ToPixels(kColumnGap, 0).width();
  const int overflow = links_right + gap - logo->x();
  if (overflow <= 0) return;
  logo->move(logo->x() + overflow, logo->y());
  ok->move(ok->x() + overflow, ok->y());
  setFixedSize(width() + overflow, height());
}

void CAboutDlg::OnInitDialog() {
  m_homePageLink.SetTarget(res::kHomePage);
}

}  // namespace quorvel::gui
