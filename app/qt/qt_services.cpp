#include "app/qt/qt_services.h"

#include <QFileDialog>
#include <QMessageBox>

namespace quorvel::gui {

void MessageBoxSink::ShowMessage(const std::string& text) {
  QMessageBox box(QMessageBox::Warning, QStringLiteral("Quorvel"), QString::fromStdString(text),
                  QMessageBox::Ok, parent_);
  box.exec();
}

QStringList NameFilters(const std::string& filter) {
  QStringList filters;
  for (const FileFilter& entry : ParseFileFilter(filter)) {
    QString description = QString::fromStdString(entry.description);
    if (!description.contains('(')) {
      QStringList patterns;
      for (const std::string& p : entry.patterns) patterns << QString::fromStdString(p);
      description += QStringLiteral(" (%1)").arg(patterns.join(' '));
    }
    filters << description;
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
  if (!request.defaultExtension.empty())
    dialog.setDefaultSuffix(QString::fromStdString(request.defaultExtension));
  if (!request.initialName.empty()) dialog.selectFile(QString::fromStdString(request.initialName));
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  return dialog.selectedFiles().first().toStdString();
}

}  // namespace quorvel::gui
