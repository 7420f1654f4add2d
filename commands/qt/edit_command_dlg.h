#pragma once

#include <QDialog>

#include "commands/card_command.h"
#include "commands/command_list.h"
#include "port/message_sink.h"

class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;

namespace quorvel::gui {

// The "Edit Command" dialog (template 131). It edits the record m_pCommand
// points to in place, and ends with 1 (OK), 2 (Cancel) or 3 (Delete).
class CEditCommandDlg : public QDialog {
  Q_OBJECT

 public:
  CEditCommandDlg(QWidget* parent, MessageSink& messages);

  CardCommand* m_pCommand = nullptr;  // set before the dialog is shown
  // A script's Reset entry: nothing can be changed; OK keeps it and Delete removes it.
  bool m_resetEntry = false;

  void setVisible(bool visible) override;
  void reject() override;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void OnInitDialog();
  void OnOK();
  void OnToCard();
  void OnFromCard();
  void OnDelete();

  MessageSink& messages_;
  bool initialised_ = false;
  QPushButton* m_okButton;
  QPlainTextEdit* m_dataEdit;
  QLineEdit* m_headerEdit;
  QLineEdit* m_commentEdit;
  QRadioButton* m_toCardRadio;
  QRadioButton* m_fromCardRadio;
};

// Runs the real dialog modally.
class DialogEditCommandRunner final : public EditCommandRunner {
 public:
  DialogEditCommandRunner(QWidget* parent, MessageSink& messages);
  int Run(CardCommand& record) override;
  int RunOnReset() override;

 private:
  QWidget* parent_;
  MessageSink& messages_;
};

}  // namespace quorvel::gui
