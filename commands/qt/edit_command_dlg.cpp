#include "commands/qt/edit_command_dlg.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <cstring>
#include <initializer_list>

#include "commands/command_text.h"
#include "controls/field_text.h"
#include "res/dialog_template.h"
#include "res/qt/dialog_builder.h"

namespace quorvel::gui {
namespace {

constexpr int kOkId = 1;
constexpr int kCancelId = 2;
constexpr int kDeleteId = 1000;
constexpr int kHeaderEditId = 1003;
constexpr int kDataEditId = 1008;
constexpr int kCommentEditId = 1012;
constexpr int kToCardId = 1017;
constexpr int kFromCardId = 1018;

std::string TextOf(const QString& text) {
  return text.toUtf8().toStdString();
}

std::string CommentOf(const CardCommand& command) {
  return std::string(command.comment, strnlen(command.comment, sizeof command.comment - 1));
}

// The dialog shows each "\r\n" of the data text as a line break.
QString ShownDataText(const std::string& text) {
  QString shown = QString::fromStdString(text);
  shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  return shown;
}

}  // namespace

CEditCommandDlg::CEditCommandDlg(QWidget* parent, MessageSink& messages)
    : QDialog(parent), messages_(messages) {
  const BuiltDialog built = BuildDialog(*this, res::EditCommandDialogTemplate());
  m_okButton = built.Get<QPushButton>(kOkId);
  m_dataEdit = built.Get<QPlainTextEdit>(kDataEditId);
  m_headerEdit = built.Get<QLineEdit>(kHeaderEditId);
  m_commentEdit = built.Get<QLineEdit>(kCommentEditId);
  m_toCardRadio = built.Get<QRadioButton>(kToCardId);
  m_fromCardRadio = built.Get<QRadioButton>(kFromCardId);

  connect(m_okButton, &QPushButton::clicked, this, &CEditCommandDlg::OnOK);
  connect(built.Get<QPushButton>(kCancelId), &QPushButton::clicked, this, &CEditCommandDlg::reject);
  connect(built.Get<QPushButton>(kDeleteId), &QPushButton::clicked, this,
          &CEditCommandDlg::OnDelete);
  connect(m_toCardRadio, &QRadioButton::clicked, this, &CEditCommandDlg::OnToCard);
  connect(m_fromCardRadio, &QRadioButton::clicked, this, &CEditCommandDlg::OnFromCard);
  // The data box has no use for Enter: it presses OK, as everywhere else in the dialog.
  m_dataEdit->installEventFilter(this);
}

void CEditCommandDlg::setVisible(bool visible) {
  if (visible && !initialised_ && m_pCommand != nullptr) {
    initialised_ = true;
    OnInitDialog();
  }
  QDialog::setVisible(visible);
}

void CEditCommandDlg::OnInitDialog() {
  if (m_resetEntry) {
    m_commentEdit->setText(QString::fromUtf8(kResetEntry));
    for (QWidget* field : std::initializer_list<QWidget*>{m_headerEdit, m_commentEdit, m_dataEdit,
                                                          m_toCardRadio, m_fromCardRadio})
      field->setEnabled(false);
    m_okButton->setFocus();
    return;
  }
  const CardCommand& command = *m_pCommand;
  m_headerEdit->setText(QString::fromStdString(FormatHeaderText(command)));
  // Any other direction (only a file can hold one) checks neither: the buttons start unchecked.
  if (command.direction == kToCard) m_toCardRadio->setChecked(true);
  if (command.direction == kFromCard) m_fromCardRadio->setChecked(true);
  m_commentEdit->setText(QString::fromStdString(ShownText(CommentOf(command))));
  if (command.direction == kToCard)
    m_dataEdit->setPlainText(ShownDataText(FormatDataText(command.data, command.p3())));
  m_okButton->setFocus();
}

void CEditCommandDlg::OnOK() {
  if (m_pCommand == nullptr) return;
  if (m_resetEntry) {
    done(EditCommandRunner::kOk);
    return;
  }
  // A comment left as it was shown keeps its bytes, whatever code page wrote them.
  const std::string comment = EditedBytes(TextOf(m_commentEdit->text()), CommentOf(*m_pCommand));
  const auto refusal = AcceptEditedCommand(*m_pCommand, TextOf(m_headerEdit->text()), comment,
                                           TextOf(m_dataEdit->toPlainText()));
  if (refusal) {
    messages_.ShowMessage(*refusal);
    return;
  }
  done(EditCommandRunner::kOk);
}

void CEditCommandDlg::OnToCard() {
  if (m_pCommand != nullptr) m_pCommand->direction = kToCard;
}

void CEditCommandDlg::OnFromCard() {
  if (m_pCommand != nullptr) m_pCommand->direction = kFromCard;
}

void CEditCommandDlg::OnDelete() {
  done(EditCommandRunner::kDelete);
}

void CEditCommandDlg::reject() {
  // Escape, the close box and Cancel all end with 2.
  done(EditCommandRunner::kCancel);
}

bool CEditCommandDlg::eventFilter(QObject* watched, QEvent* event) {
  if (watched == m_dataEdit && event->type() == QEvent::KeyPress) {
    const auto* key = static_cast<QKeyEvent*>(event);
    const bool enter = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
    if (enter) {
      // Ctrl+Enter breaks the line, as in a multi-line edit without want-return.
      if (key->modifiers() & Qt::ControlModifier) {
        m_dataEdit->insertPlainText(QStringLiteral("\n"));
      } else {
        m_okButton->click();
      }
      return true;
    }
  }
  return QDialog::eventFilter(watched, event);
}

DialogEditCommandRunner::DialogEditCommandRunner(QWidget* parent, MessageSink& messages)
    : parent_(parent), messages_(messages) {}

int DialogEditCommandRunner::Run(CardCommand& record) {
  CEditCommandDlg dialog(parent_, messages_);
  dialog.m_pCommand = &record;
  return dialog.exec();
}

int DialogEditCommandRunner::RunOnReset() {
  CardCommand unused = NewCardCommand();
  CEditCommandDlg dialog(parent_, messages_);
  dialog.m_pCommand = &unused;
  dialog.m_resetEntry = true;
  return dialog.exec();
}

}  // namespace quorvel::gui
