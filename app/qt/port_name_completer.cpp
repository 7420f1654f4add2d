#include "app/qt/port_name_completer.h"

#include <QAbstractItemView>
#include <QCompleter>
#include <QLineEdit>
#include <QStandardItemModel>

#include "port/port_name_completion.h"

namespace quorvel::gui {
namespace {

// The popup shows each port's line; choosing it puts this role's string in the edit.
constexpr int kSettingsRole = Qt::UserRole;

}  // namespace

PortNameCompleter::PortNameCompleter(QLineEdit* edit, DeviceFactory& devices)
    : QObject(edit),
      edit_(edit),
      devices_(devices),
      completions_(new QStandardItemModel(this)),
      completer_(new QCompleter(completions_, this)) {
  completer_->setWidget(edit);
  completer_->setCompletionMode(QCompleter::UnfilteredPopupCompletion);
  completer_->setCompletionRole(kSettingsRole);
  connect(edit, &QLineEdit::textEdited, this, &PortNameCompleter::Offer);
  connect(edit, &QLineEdit::editingFinished, this, [this] { choices_.reset(); });
  connect(completer_, qOverload<const QString&>(&QCompleter::activated), edit, &QLineEdit::setText);
}

void PortNameCompleter::Offer() {
  if (!choices_) choices_ = devices_.PortChoices();
  const QString text = edit_->text();
  const auto cursor = static_cast<std::size_t>(text.left(edit_->cursorPosition()).toUtf8().size());
  completions_->clear();
  for (const PortNameCompletion& completion :
       CompletePortName(text.toStdString(), cursor, *choices_)) {
    auto* item = new QStandardItem(QString::fromStdString(completion.label));
    item->setData(QString::fromStdString(completion.settings), kSettingsRole);
    completions_->appendRow(item);
  }
  if (completions_->rowCount() == 0) {
    completer_->popup()->hide();
  } else {
    completer_->complete();
  }
}

}  // namespace quorvel::gui
