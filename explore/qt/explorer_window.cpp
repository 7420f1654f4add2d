#include "explore/qt/explorer_window.h"

#include <QBoxLayout>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>

#include "controls/field_text.h"

namespace quorvel::gui {
namespace {

enum Column { kFileColumn, kKindColumn, kSizeColumn, kAccessColumn, kStatusColumn, kColumns };

QString Shown(const std::string& text) {
  return QString::fromStdString(text);
}

void AddNodes(const std::vector<ExplorerNode>& nodes, QTreeWidgetItem* parent) {
  for (const ExplorerNode& node : nodes) {
    auto* item = new QTreeWidgetItem(parent);
    item->setText(kFileColumn, Shown(node.text));
    item->setToolTip(kFileColumn, Shown(node.text));
    if (node.file) {
      item->setText(kKindColumn, Shown(node.kind));
      item->setText(kSizeColumn, Shown(node.size));
      item->setText(kAccessColumn, Shown(node.access));
      item->setToolTip(kAccessColumn, Shown(node.access));
      item->setText(kStatusColumn, Shown(node.status));
      item->setToolTip(kStatusColumn, Shown(node.status));
      if (node.needsPin) {
        QFont bold = item->font(kStatusColumn);
        bold.setBold(true);
        item->setFont(kStatusColumn, bold);
        item->setForeground(kStatusColumn, QBrush(Qt::darkRed));
      }
    }
    // A line of what a file holds reads across the columns, which are the files' own.
    if (!node.file) item->setFirstColumnSpanned(true);
    AddNodes(node.children, item);
    item->setExpanded(node.file);
  }
}

}  // namespace

std::optional<std::string> DialogPinQuestion::AskPin(const std::string& name,
                                                     const std::string& text) {
  QInputDialog dialog(parent_);
  dialog.setWindowTitle(QStringLiteral("Quorvel"));
  dialog.setLabelText(Shown(text + "\n\nEnter " + name +
                            " (4 to 8 digits). It is sent once, with VERIFY; a wrong one costs "
                            "a try. Quorvel keeps it nowhere."));
  dialog.setTextEchoMode(QLineEdit::Password);
  dialog.setInputMethodHints(Qt::ImhDigitsOnly | Qt::ImhSensitiveData | Qt::ImhNoPredictiveText);
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  std::string pin = dialog.textValue().toStdString();
  dialog.setTextValue(QString());
  if (pin.empty()) return std::nullopt;
  return pin;
}

CExplorerWindow::CExplorerWindow(const ExplorerServices& services, QWidget* parent)
    : QDialog(parent, Qt::Window), logic_(services, *this) {
  setWindowTitle(QStringLiteral("Quorvel - card explorer"));
  setModal(false);
  tree_ = new QTreeWidget(this);
  tree_->setColumnCount(kColumns);
  tree_->setHeaderLabels({tr("File"), tr("Kind"), tr("Size"), tr("Access"), tr("Status")});
  tree_->header()->setStretchLastSection(true);
  tree_->setUniformRowHeights(true);
  status_ = new QLabel(this);
  status_->setWordWrap(true);
  status_->setTextInteractionFlags(Qt::TextSelectableByMouse);

  auto* buttons = new QDialogButtonBox(this);
  walk_ = buttons->addButton(tr("&Walk again"), QDialogButtonBox::ActionRole);
  verify_ = buttons->addButton(tr("&Verify PIN1..."), QDialogButtonBox::ActionRole);
  stop_ = buttons->addButton(tr("&Stop"), QDialogButtonBox::ActionRole);
  export_ = buttons->addButton(tr("&Export JSON..."), QDialogButtonBox::ActionRole);
  QPushButton* close = buttons->addButton(QDialogButtonBox::Close);
  for (QPushButton* button : {walk_, verify_, stop_, export_, close}) button->setAutoDefault(false);
  connect(walk_, &QPushButton::clicked, this, [this] { logic_.OnWalk(); });
  connect(verify_, &QPushButton::clicked, this, [this] { logic_.OnVerifyPin1(); });
  connect(stop_, &QPushButton::clicked, this, [this] { logic_.OnStop(); });
  connect(export_, &QPushButton::clicked, this, [this] { logic_.OnExportJson(); });
  connect(close, &QPushButton::clicked, this, &CExplorerWindow::reject);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(tree_, 1);
  layout->addWidget(status_);
  layout->addWidget(buttons);
  resize(760, 560);
  ExplorerChanged();
}

void CExplorerWindow::ShowBeside(const QWidget& beside) {
  if (!isVisible()) {
    const QRect frame = beside.frameGeometry();
    move(frame.right() + 8, frame.top());
  }
  show();
  raise();
  activateWindow();
}

void CExplorerWindow::reject() {
  logic_.OnStop();
  QDialog::reject();
}

void CExplorerWindow::ExplorerChanged() {
  QStringList lines;
  for (const std::string& line : logic_.StatusLines()) lines << Shown(line);
  status_->setText(lines.join('\n'));
  const bool running = logic_.running();
  walk_->setEnabled(!running);
  verify_->setEnabled(logic_.canVerify());
  stop_->setEnabled(running);
  export_->setEnabled(logic_.canExport());
  if (logic_.walkNumber() != shown_walk_) ShowTree();
}

void CExplorerWindow::ShowTree() {
  shown_walk_ = logic_.walkNumber();
  tree_->clear();
  AddNodes(ExplorerTree(logic_.walk()), tree_->invisibleRootItem());
  tree_->setColumnWidth(kFileColumn, tree_->fontMetrics().horizontalAdvance(QLatin1Char('x')) * 24);
  for (int column = kKindColumn; column < kStatusColumn; ++column)
    tree_->resizeColumnToContents(column);
}

}  // namespace quorvel::gui
