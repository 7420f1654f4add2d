#pragma once

#include <QDialog>

#include "about/link_opener.h"
#include "about/qt/link_static.h"
#include "port/message_sink.h"

namespace quorvel::gui {

class BuiltDialog;

// "About Quorvel": the publisher's name, which opens the home page, and two
// mail addresses, which open the mail program. Make a fresh one for each
// opening: its links keep no state beyond one run.
class CAboutDlg : public QDialog {
  Q_OBJECT

 public:
  CAboutDlg(QWidget* parent, LinkOpener& opener, MessageSink& messages,
            CLinkStatic::BeepHook beep = &QApplication::beep);

 private:
  // Links take over their controls in the order 1026, 1025, 1024.
  void DoDataExchange(const BuiltDialog& controls);
  void OnInitDialog();
  void MakeRoomForLinks(const BuiltDialog& controls);

  CLinkStatic m_secondMailLink;
  CLinkStatic m_mailLink;
  CLinkStatic m_homePageLink;
};

}  // namespace quorvel::gui
