#include "app/qt/qt_services.h"

#include <QClipboard>
#include <QFileDialog>
#include <QGuiApplication>
#include <QMessageBox>

#include "controls/field_text.h"

namespace quorvel::gui {

void MessageBoxSink::ShowMessage(const std::string& text) {
  QMessageBox box(QMessageBox::Warning, QStringLiteral("Quorvel"),
                  QString::fromStdString(ShownText(text)), QMessageBox::Ok, parent_);
  box.exec();
}

bool MessageBoxQuestion::AskYesNo(const std::string& text) {
  QMessageBox box(QMessageBox::Question, QStringLiteral("Quorvel"),
                  QString::fromStdString(ShownText(text)), QMessageBox::Yes | QMessageBox::No,
                  parent_);
  box.setDefaultButton(QMessageBox::No);
  box.setEscapeButton(QMessageBox::No);
  return box.exec() == QMessageBox::Yes;
}

void SystemClipboard::SetText(const std::string& text) {
  QGuiApplication::clipboard()->setText(QString::fromStdString(text));
}

QStringList NameFilters(const std::string& filter) {
  QStringList filters;
  for (const FileFilter& entry : ParseFileFilter(filter)) {
    // Qt matches the patterns in the parentheses that end a filter, so they are
    // written there as this system matches them.
    QString label = QString::fromStdString(entry.description);
    if (label.endsWith(')') && label.contains('(')) label.truncate(label.lastIndexOf('('));
    QStringList patterns;
    for (const std::string& p : DesktopPatterns(entry)) patterns << QString::fromStdString(p);
    filters << QStringLiteral("%1 (%2)").arg(label.trimmed(), patterns.join(' '));
  }
  return filters;
}

std::optional<std::string> DialogFileChooser::Choose(const Request& request) {
  QFileDialog dialog(parent_);
  const bool save = request.mode == Mode::kSave;
  dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
  dialog.setOption(QFileDialog::ReadOnly, false);
  dialog.setOption(QFileDialog::DontConfirmOverwrite, !save);
  dialog.setNameFilters(NameFilters(request.filter));
  if (!request.defaultExtension.empty()) {
    dialog.setDefaultSuffix(QString::fromStdString(request.defaultExtension));
    // "Command scripts (*.txt)" chosen, a name typed without an extension ends in .txt.
    const std::vector<FileFilter> filters = ParseFileFilter(request.filter);
    const QStringList labels = dialog.nameFilters();
    QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog,
                     [&dialog, &request, filters, labels](const QString& label) {
                       const auto index = static_cast<std::size_t>(labels.indexOf(label));
                       const std::string own =
                           index < filters.size() ? FilterExtension(filters[index]) : "";
                       dialog.setDefaultSuffix(
                           QString::fromStdString(own.empty() ? request.defaultExtension : own));
                     });
  }
  if (!request.initialName.empty())
    dialog.selectFile(QString::fromStdString(ShownText(request.initialName)));
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  return dialog.selectedFiles().first().toStdString();
}

}  // namespace quorvel::gui
