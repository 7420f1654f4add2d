#pragma once

#include <QStringList>

#include "app/clipboard.h"
#include "app/file_chooser.h"
#include "app/yes_no_question.h"
#include "port/message_sink.h"

class QWidget;

namespace quorvel::gui {

// The program's message box: caption "Quorvel", an OK button, the exclamation icon.
class MessageBoxSink final : public MessageSink {
 public:
  explicit MessageBoxSink(QWidget* parent = nullptr) : parent_(parent) {}
  void ShowMessage(const std::string& text) override;
  void SetParent(QWidget* parent) { parent_ = parent; }

 private:
  QWidget* parent_;
};

// The program's question box: caption "Quorvel", Yes and No, No the default
// button, Escape and the close box answering No.
class MessageBoxQuestion final : public YesNoQuestion {
 public:
  explicit MessageBoxQuestion(QWidget* parent = nullptr) : parent_(parent) {}
  bool AskYesNo(const std::string& text) override;

 private:
  QWidget* parent_;
};

// The desktop's file chooser.
class DialogFileChooser final : public FileChooser {
 public:
  explicit DialogFileChooser(QWidget* parent = nullptr) : parent_(parent) {}
  std::optional<std::string> Choose(const Request& request) override;
  void SetParent(QWidget* parent) { parent_ = parent; }

 private:
  QWidget* parent_;
};

// The desktop's clipboard.
class SystemClipboard final : public Clipboard {
 public:
  void SetText(const std::string& text) override;
};

// Qt's name filters for a filter string, each its description and the patterns
// as this system matches them: "log files (*.txt)", "All Files (*)".
QStringList NameFilters(const std::string& filter);

}  // namespace quorvel::gui
