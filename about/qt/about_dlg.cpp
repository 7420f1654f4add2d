#include "about/qt/about_dlg.h"

#include <QLabel>
#include <QPushButton>

#include "res/dialog_template.h"
#include "res/publisher.h"
#include "res/qt/dialog_builder.h"

namespace quorvel::gui {
namespace {

constexpr int kOkButton = 1;
constexpr int kHomePageLink = 1024;
constexpr int kMailLink = 1025;
constexpr int kSecondMailLink = 1026;

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
  ok->setFocus();
}

void CAboutDlg::DoDataExchange(const BuiltDialog& controls) {
  m_secondMailLink.Attach(controls.Get<QLabel>(kSecondMailLink));
  m_mailLink.Attach(controls.Get<QLabel>(kMailLink));
  m_homePageLink.Attach(controls.Get<QLabel>(kHomePageLink));
}

void CAboutDlg::OnInitDialog() {
  m_homePageLink.SetTarget(res::kHomePage);
}

}  // namespace quorvel::gui
