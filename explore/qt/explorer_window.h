#pragma once

#include <QDialog>
#include <optional>
#include <string>

#include "explore/card_explorer.h"
#include "explore/pin_question.h"

class QLabel;
class QPushButton;
class QTreeWidget;

namespace quorvel::gui {

// The PIN box: what the card told of the tries left, a field that shows no digits, OK and
// Cancel.
class DialogPinQuestion final : public PinQuestion {
 public:
  explicit DialogPinQuestion(QWidget* parent = nullptr) : parent_(parent) {}
  std::optional<std::string> AskPin(const std::string& name, const std::string& text) override;
  void SetParent(QWidget* parent) { parent_ = parent; }

 private:
  QWidget* parent_;
};

// "Explore the card...": a window of its own beside the main one, over CardExplorer. The tree
// of files (kind, size, access, status, and under each its decoded fields and bytes), the
// status lines, and "Walk again", "Verify PIN1...", "Stop", "Export JSON...", "Close".
class CExplorerWindow final : public QDialog, private ExplorerView {
  Q_OBJECT

 public:
  CExplorerWindow(const ExplorerServices& services, QWidget* parent);

  CardExplorer& logic() { return logic_; }
  QTreeWidget* Tree() const { return tree_; }
  QLabel* StatusLine() const { return status_; }
  QPushButton* WalkButton() const { return walk_; }
  QPushButton* VerifyButton() const { return verify_; }
  QPushButton* StopButton() const { return stop_; }
  QPushButton* ExportButton() const { return export_; }

  // Shows the window beside `beside`, or brings it forward when it is shown already.
  void ShowBeside(const QWidget& beside);

 protected:
  // Closing it during a walk stops the walk; the window is only hidden.
  void reject() override;

 private:
  void ExplorerChanged() override;
  void ShowTree();

  CardExplorer logic_;
  QTreeWidget* tree_;
  QLabel* status_;
  QPushButton* walk_;
  QPushButton* verify_;
  QPushButton* stop_;
  QPushButton* export_;
  int shown_walk_ = -1;  // the walk the tree shows
};

}  // namespace quorvel::gui
