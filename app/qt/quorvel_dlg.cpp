#include "app/qt/quorvel_dlg.h"

#include <QCheckBox>
#include <QContextMenuEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QShortcut>

#include "about/about_command.h"
#include "about/link_opener.h"
#include "about/qt/about_dlg.h"
#include "about/qt/desktop_link_opener.h"
#include "commands/qt/edit_command_dlg.h"
#include "controls/field_text.h"

namespace quorvel::gui {
namespace {

constexpr unsigned kCloseCommand = 0xF060;

// Controls of the main window's template.
constexpr int kQuitButton = 1;
constexpr int kResetButton = 1000;
constexpr int kOutputList = 1002;
constexpr int kCountEdit = 1003;
constexpr int kResetEdit = 1008;
constexpr int kLoadButton = 1009;
constexpr int kSaveButton = 1010;
constexpr int kExecuteEdit = 1012;
constexpr int kInvCheck = 1013;
constexpr int kNewButton = 1014;
constexpr int kEditButton = 1015;
constexpr int kExecuteButton = 1016;
constexpr int kCommandList = 1020;
constexpr int kBinCheck = 1022;
constexpr int kBrowseButton = 1023;

// The About box as the desktop shows it. The desktop's link opener is made when
// the box first opens, not at start-up.
class AboutDialogOpener final : public AboutBoxOpener {
 public:
  explicit AboutDialogOpener(MessageSink& messages) : messages_(messages) {}
  void OpenAbout(QWidget* parent) override {
    if (!links_) links_ = std::make_unique<DesktopLinkOpener>();
    CAboutDlg about(parent, *links_, messages_);
    about.exec();
  }

 private:
  MessageSink& messages_;
  std::unique_ptr<DesktopLinkOpener> links_;
};

template <class T>
T* Require(const BuiltDialog& built, int id) {
  T* widget = built.Get<T>(id);
  Q_ASSERT(widget != nullptr);
  return widget;
}

}  // namespace

CQuorvelDlg::CQuorvelDlg(const MainWindowDeps& deps, QWidget* parent)
    : QDialog(parent),
      built_(BuildDialog(*this, res::MainDialogTemplate())),
      output_list_(Require<QListView>(built_, kOutputList)),
      command_list_(Require<QListView>(built_, kCommandList)),
      bin_check_(Require<QCheckBox>(built_, kBinCheck)),
      inv_check_(Require<QCheckBox>(built_, kInvCheck)),
      execute_edit_(Require<QLineEdit>(built_, kExecuteEdit)),
      reset_edit_(Require<QLineEdit>(built_, kResetEdit)),
      count_edit_(Require<QLineEdit>(built_, kCountEdit)) {
  MessageSink* messages = deps.messages;
  if (messages == nullptr) {
    own_messages_ = std::make_unique<MessageBoxSink>(this);
    messages = own_messages_.get();
  }
  FileChooser* files = deps.files;
  if (files == nullptr) {
    own_files_ = std::make_unique<DialogFileChooser>(this);
    files = own_files_.get();
  }
  EditCommandRunner* editor = deps.editor;
  if (editor == nullptr) {
    own_editor_ = std::make_unique<DialogEditCommandRunner>(this, *messages);
    editor = own_editor_.get();
  }
  YesNoQuestion* questions = deps.questions;
  if (questions == nullptr) {
    own_questions_ = std::make_unique<MessageBoxQuestion>(this);
    questions = own_questions_.get();
  }
  about_ = deps.about;
  if (about_ == nullptr) {
    own_about_ = std::make_unique<AboutDialogOpener>(*messages);
    about_ = own_about_.get();
  }

  logic_ = std::make_unique<MainDialog>(
      MainDialogControls{output_list_, command_list_, bin_check_, inv_check_, execute_edit_,
                         reset_edit_, count_edit_},
      MainDialogServices{*messages, *files, *editor, *this, deps.devices, deps.clock, deps.profile,
                         *questions});

  BuildWindowMenu();
  ConnectButtons();
  if (QWidget* logo = Logo()) {
    logo->setCursor(Qt::PointingHandCursor);
    logo->installEventFilter(this);
  }
  Control(kResetEdit)->installEventFilter(this);
  Control(kExecuteEdit)->installEventFilter(this);

  logic_->OnInitDialog();
  Control(kQuitButton)->setFocus();
}

CQuorvelDlg::~CQuorvelDlg() {
  // No more focus notices into the logic once it is going away.
  Control(kResetEdit)->removeEventFilter(this);
  Control(kExecuteEdit)->removeEventFilter(this);
  logic_->OnDestroy();
}

QWidget* CQuorvelDlg::Logo() const {
  return built_.Bitmap();
}

void CQuorvelDlg::SetTitle(const std::string& title) {
  // Qt reads "[*]" in a title as the place of its modified mark and shows "[*][*]"
  // as "[*]": doubled, a log name shows as it is written.
  QString shown = QString::fromStdString(ShownText(title));
  shown.replace(QStringLiteral("[*]"), QStringLiteral("[*][*]"));
  setWindowTitle(shown);
}

void CQuorvelDlg::ConnectButtons() {
  const auto on_click = [this](int id, void (MainDialog::*handler)()) {
    connect(built_.Get<QPushButton>(id), &QPushButton::clicked, this,
            [this, handler] { (logic_.get()->*handler)(); });
  };
  connect(built_.Get<QPushButton>(kQuitButton), &QPushButton::clicked, this, &QDialog::accept);
  on_click(kResetButton, &MainDialog::OnReset);
  on_click(kLoadButton, &MainDialog::OnLoad);
  on_click(kSaveButton, &MainDialog::OnSave);
  on_click(kNewButton, &MainDialog::OnNew);
  on_click(kEditButton, &MainDialog::OnEdit);
  on_click(kExecuteButton, &MainDialog::OnExecute);
  on_click(kBrowseButton, &MainDialog::OnBrowse);
  connect(built_.Get<QCheckBox>(kInvCheck), &QCheckBox::clicked, this, [this] { logic_->OnInv(); });
}

void CQuorvelDlg::BuildWindowMenu() {
  // Window managers keep their own window menu to themselves; the program
  // offers its own on Alt+Space and on a right click in the window.
  auto* shortcut = new QShortcut(QKeySequence(Qt::ALT | Qt::Key_Space), this);
  connect(shortcut, &QShortcut::activated, this,
          [this] { WindowMenu()->popup(mapToGlobal(QPoint(0, 0))); });
}

QMenu* CQuorvelDlg::WindowMenu() {
  // Made on first use: start-up does not pay for a menu that is rarely opened.
  if (window_menu_ == nullptr) {
    window_menu_ = new QMenu(this);
    window_menu_->addAction(tr("Close"), this, [this] { OnSysCommand(kCloseCommand); });
    window_menu_->addSeparator();
    window_menu_->addAction(QString::fromUtf8(res::kAboutMenuText), this,
                            [this] { OnSysCommand(kAboutCommand); });
  }
  return window_menu_;
}

void CQuorvelDlg::contextMenuEvent(QContextMenuEvent* event) {
  WindowMenu()->popup(event->globalPos());
}

void CQuorvelDlg::OnSysCommand(unsigned command) {
  if (IsAboutCommand(command)) {
    about_->OpenAbout(this);
  } else if ((command & 0xFFF0) == kCloseCommand) {
    reject();
  }
}

void CQuorvelDlg::OnLogoClicked() {
  about_->OpenAbout(this);
}

bool CQuorvelDlg::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::FocusOut) {
    if (watched == Control(kResetEdit)) logic_->OnKillFocusResetEdit();
    if (watched == Control(kExecuteEdit)) logic_->OnKillFocusExecuteEdit();
  } else if (watched == Logo() && event->type() == QEvent::MouseButtonRelease) {
    auto* mouse = static_cast<QMouseEvent*>(event);
    if (mouse->button() == Qt::LeftButton && Logo()->rect().contains(mouse->position().toPoint())) {
      OnLogoClicked();
      return true;
    }
  }
  return QDialog::eventFilter(watched, event);
}

}  // namespace quorvel::gui
