#include "app/qt/quorvel_dlg.h"

#include <QAction>
#include <QCheckBox>
#include <QContextMenuEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QResizeEvent>
#include <QScreen>
#include <QScrollBar>
#include <QShortcut>
#include <QStyle>
#include <QTimer>
#include <algorithm>

#include "about/about_command.h"
#include "about/link_opener.h"
#include "about/qt/about_dlg.h"
#include "about/qt/desktop_link_opener.h"
#include "app/qt/fixed_pitch_font.h"
#include "app/qt/full_text_tool_tips.h"
#include "app/qt/port_name_completer.h"
#include "app/window_size.h"
#include "card/hex_rows.h"
#include "commands/qt/edit_command_dlg.h"
#include "controls/field_text.h"
#include "explore/qt/explorer_window.h"

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
constexpr int kDetailsPane = res::kDetailsPane;

// What a Reset, an Execute or a run uses, or what would start another: off while one runs.
constexpr int kOffWhileExchanging[] = {kResetButton,  kExecuteButton, kEditButton,  kLoadButton,
                                       kSaveButton,   kNewButton,     kInvCheck,    kBinCheck,
                                       kBrowseButton, kResetEdit,     kExecuteEdit, kCommandList};
constexpr std::chrono::milliseconds kRunClockTick{100};

// Marks the details pane's row as no longer matching its text.
constexpr int kStaleDetails = -2;

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
      count_edit_(Require<QLineEdit>(built_, kCountEdit)),
      profile_(deps.profile),
      details_(Require<QPlainTextEdit>(built_, kDetailsPane)) {
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
  clipboard_ = deps.clipboard;
  if (clipboard_ == nullptr) {
    own_clipboard_ = std::make_unique<SystemClipboard>();
    clipboard_ = own_clipboard_.get();
  }
  pins_ = deps.pins;
  if (pins_ == nullptr) {
    own_pins_ = std::make_unique<DialogPinQuestion>(this);
    pins_ = own_pins_.get();
  }
  messages_ = messages;
  files_ = files;

  logic_ = std::make_unique<MainDialog>(
      MainDialogControls{output_list_, command_list_, bin_check_, inv_check_, execute_edit_,
                         reset_edit_, count_edit_},
      MainDialogServices{*messages, *files, *editor, *this, deps.devices, deps.clock, deps.profile,
                         *questions, this});

  BuildWindowMenu();
  BuildRunControls();
  BuildTraceControls();
  explore_ = new QAction(tr("E&xplore the card..."), this);
  connect(explore_, &QAction::triggered, this, [this] { OpenExplorer(); });
  ConnectButtons();
  SetUpOutputList();
  new FullTextToolTips(command_list_.view());
  RestoreWindowSize();
  if (QWidget* logo = Logo()) {
    logo->setCursor(Qt::PointingHandCursor);
    logo->installEventFilter(this);
  }
  Control(kResetEdit)->installEventFilter(this);
  Control(kExecuteEdit)->installEventFilter(this);
  new PortNameCompleter(Require<QLineEdit>(built_, kResetEdit), deps.devices);
  new PortNameCompleter(Require<QLineEdit>(built_, kExecuteEdit), deps.devices);

  logic_->OnInitDialog(deps.fileFollows);
  automatic_responses_->setChecked(logic_->automaticResponses());
  stop_at_failure_->setChecked(logic_->stopAtFailure());
  speed_negotiation_->setChecked(logic_->speedNegotiation());
  full_t0_->setChecked(logic_->fullT0());
  Control(kQuitButton)->setFocus();
}

CQuorvelDlg::~CQuorvelDlg() {
  // No more focus notices into the logic once it is going away.
  Control(kResetEdit)->removeEventFilter(this);
  Control(kExecuteEdit)->removeEventFilter(this);
  output_list_.view()->removeEventFilter(this);
  // The output list's last changes, as the window's children go, are no longer shown.
  QObject::disconnect(output_list_.view()->selectionModel(), nullptr, this, nullptr);
  QObject::disconnect(output_list_.model(), nullptr, this, nullptr);
  RememberWindowSize();
  logic_->OnDestroy();
  explorer_.reset();  // the line has ended: nothing of it reaches the explorer any more
}

void CQuorvelDlg::OpenExplorer() {
  if (!explorer_) {
    explorer_ = std::make_unique<CExplorerWindow>(
        ExplorerServices{*logic_, *messages_, *pins_, *files_}, this);
    // The PIN is asked for over the explorer, where the user clicked.
    if (own_pins_) static_cast<DialogPinQuestion&>(*own_pins_).SetParent(explorer_.get());
  }
  explorer_->ShowBeside(*this);
  CardExplorer& explorer = explorer_->logic();
  if (explorer.walkNumber() == 0 && !explorer.running()) explorer.OnWalk();
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

void CQuorvelDlg::SetUpOutputList() {
  QListView* list = output_list_.view();
  const QFont fixed = FixedPitchFont(font());
  list->setFont(fixed);
  details_->setFont(fixed);
  list->setSelectionMode(QAbstractItemView::ExtendedSelection);
  output_list_.model()->SetToolTips([this](int row) { return logic_->output().ExplainRow(row); });

  list->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(list, &QWidget::customContextMenuRequested, this, [this, list](const QPoint& at) {
    OutputMenu()->popup(list->viewport()->mapToGlobal(at));
  });
  list->installEventFilter(this);  // Ctrl+C copies the selected rows, not only the current one

  QItemSelectionModel* selection = list->selectionModel();
  connect(selection, &QItemSelectionModel::selectionChanged, this, &CQuorvelDlg::ShowDetails);
  connect(selection, &QItemSelectionModel::currentChanged, this, &CQuorvelDlg::ShowDetails);
  connect(list->model(), &QAbstractItemModel::rowsRemoved, this, [this] {
    if (details_row_ >= 0) details_row_ = kStaleDetails;
    ShowDetails();
  });
}

QSize CQuorvelDlg::SmallestSize() const {
  QListView* list = output_list_.view();
  const QFontMetrics metrics = list->fontMetrics();
  QChar widest = QLatin1Char('0');
  for (QChar digit : QStringLiteral("0123456789ABCDEF")) {
    if (metrics.horizontalAdvance(digit) > metrics.horizontalAdvance(widest)) widest = digit;
  }
  QString row;
  for (std::size_t i = 0; i < kBytesPerHexRow; ++i) row += QString(2, widest) + QLatin1Char(' ');
  // Room for the entry, the frame and a vertical scroll bar.
  const int needed =
      FullTextToolTips::EntryWidth(*list, row) + 2 * list->frameWidth() +
      list->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, list->verticalScrollBar());
  QSize smallest = built_.TemplateSize();
  while (built_.PlaceIn(list, smallest).width() < needed) smallest.rwidth() += 1;
  return smallest;
}

void CQuorvelDlg::RestoreWindowSize() {
  const QSize smallest = SmallestSize();
  setMinimumSize(smallest);
  setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
  QSize size = smallest;
  const auto remembered =
      ParseWindowSize(profile_.GetString(kWindowSection, kWindowSizeKey, std::string()));
  if (remembered) {
    size = QSize(remembered->width, remembered->height);
    // A size remembered on a larger screen is cut to this one.
    if (const QScreen* on = screen()) size = size.boundedTo(on->availableSize());
    size = size.expandedTo(smallest);
  }
  resize(size);
  built_.LayOut(size);
}

void CQuorvelDlg::RememberWindowSize() {
  const bool remembered =
      !profile_.GetString(kWindowSection, kWindowSizeKey, std::string()).empty();
  // A window never made larger than its smallest size has nothing to remember.
  if (!remembered && size() == minimumSize()) return;
  profile_.SetString(kWindowSection, kWindowSizeKey, WindowSizeText({width(), height()}));
}

void CQuorvelDlg::resizeEvent(QResizeEvent* event) {
  QDialog::resizeEvent(event);
  built_.LayOut(event->size());
  PlaceRunLine();
}

void CQuorvelDlg::WakeWindow() {
  // Called on the line thread: only a posted call crosses to the window's.
  QMetaObject::invokeMethod(this, "DeliverLineSteps", Qt::QueuedConnection);
}

void CQuorvelDlg::DeliverLineSteps() {
  logic_->DeliverLineSteps();
}

void CQuorvelDlg::ExchangeRunning(bool running) {
  for (int id : kOffWhileExchanging) Control(id)->setEnabled(!running);
  automatic_responses_->setEnabled(!running);
  stop_at_failure_->setEnabled(!running);
  speed_negotiation_->setEnabled(!running);
  full_t0_->setEnabled(!running);
  if (running || !pending_result_) return;
  const int result = *pending_result_;
  pending_result_.reset();
  QDialog::done(result);
}

void CQuorvelDlg::done(int result) {
  if (logic_->ExchangeRunning()) {
    pending_result_ = result;
    logic_->OnStopRun();
    return;
  }
  QDialog::done(result);
}

void CQuorvelDlg::BuildRunControls() {
  automatic_responses_ = new QAction(tr("Answer 61xx and 6Cxx a&utomatically"), this);
  automatic_responses_->setCheckable(true);
  connect(automatic_responses_, &QAction::toggled, this,
          [this](bool on) { logic_->SetAutomaticResponses(on); });
  speed_negotiation_ = new QAction(tr("&Negotiate the card's speed (PPS)"), this);
  speed_negotiation_->setCheckable(true);
  connect(speed_negotiation_, &QAction::toggled, this,
          [this](bool on) { logic_->SetSpeedNegotiation(on); });
  full_t0_ = new QAction(tr("Follow every T=0 &procedure byte"), this);
  full_t0_->setCheckable(true);
  connect(full_t0_, &QAction::toggled, this, [this](bool on) { logic_->SetFullT0(on); });
  stop_at_failure_ = new QAction(tr("&Stop at a failed command"), this);
  stop_at_failure_->setCheckable(true);
  connect(stop_at_failure_, &QAction::toggled, this,
          [this](bool on) { logic_->SetStopAtFailure(on); });

  QListView* commands = command_list_.view();
  commands->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(commands, &QWidget::customContextMenuRequested, this, [this, commands](const QPoint& at) {
    CommandMenu()->popup(commands->viewport()->mapToGlobal(at));
  });

  run_line_ = new QWidget(this);
  auto* layout = new QHBoxLayout(run_line_);
  layout->setContentsMargins(0, 0, 0, 0);
  run_text_ = new QLabel(run_line_);
  run_text_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  run_text_->setWordWrap(true);  // a long summary takes a second line rather than being cut
  stop_button_ = new QPushButton(tr("Stop"), run_line_);
  stop_button_->setAutoDefault(false);
  connect(stop_button_, &QPushButton::clicked, this, [this] { logic_->OnStopRun(); });
  layout->addWidget(run_text_, 1);
  layout->addWidget(stop_button_);
  run_line_->hide();
  run_clock_ = new QTimer(this);
  run_clock_->setInterval(kRunClockTick);
  connect(run_clock_, &QTimer::timeout, this,
          [this] { run_text_->setText(QString::fromStdString(logic_->RunStatusText())); });
}

void CQuorvelDlg::BuildTraceControls() {
  record_trace_ = new QAction(tr("&Record a trace..."), this);
  record_trace_->setCheckable(true);
  connect(record_trace_, &QAction::triggered, this, [this] {
    logic_->OnRecordTrace();
    ShowTraceState();
  });
  send_to_wireshark_ = new QAction(tr("Send to &Wireshark (GSMTAP)"), this);
  send_to_wireshark_->setCheckable(true);
  connect(send_to_wireshark_, &QAction::triggered, this, [this](bool on) {
    logic_->SetSendingToWireshark(on);
    ShowTraceState();
  });
}

void CQuorvelDlg::ShowTraceState() {
  record_trace_->setChecked(logic_->recordingTrace());
  send_to_wireshark_->setChecked(logic_->sendingToWireshark());
}

QMenu* CQuorvelDlg::CommandMenu() {
  if (command_menu_ == nullptr) {
    command_menu_ = new QMenu(this);
    command_menu_->addAction(tr("Execute &all"), this, [this] { logic_->OnExecuteAll(); });
    command_menu_->addAction(tr("Execute &from here"), this,
                             [this] { logic_->OnExecuteFromHere(); });
    command_menu_->addSeparator();
    command_menu_->addAction(stop_at_failure_);
    command_menu_->addAction(automatic_responses_);
  }
  return command_menu_;
}

void CQuorvelDlg::RunStatusChanged() {
  const std::string text = logic_->RunStatusText();
  run_text_->setText(QString::fromStdString(text));
  stop_button_->setVisible(logic_->RunInProgress());
  if (logic_->RunInProgress()) {
    run_clock_->start();
  } else {
    run_clock_->stop();
  }
  const bool shown = !text.empty();
  run_line_->setVisible(shown);
  // The pane makes room for the run line as its text needs, one line or two.
  built_.LayOut(size());
  PlaceRunLine();
}

void CQuorvelDlg::PlaceRunLine() {
  if (run_line_ == nullptr || !run_line_->isVisible()) return;
  const QRect pane = details_->geometry();
  const int wanted = std::max(run_line_->sizeHint().height(),
                              run_line_->layout()->totalHeightForWidth(pane.width()));
  const int height = std::min(wanted, pane.height() / 2);
  const int gap = 2;
  details_->setGeometry(pane.x(), pane.y(), pane.width(), pane.height() - height - gap);
  run_line_->setGeometry(pane.x(), pane.bottom() + 1 - height, pane.width(), height);
}

std::vector<int> CQuorvelDlg::SelectedOutputRows() const {
  std::vector<int> rows;
  for (const QModelIndex& index : output_list_.view()->selectionModel()->selectedRows()) {
    rows.push_back(index.row());
  }
  std::sort(rows.begin(), rows.end());
  return rows;
}

int CQuorvelDlg::DetailsRow() const {
  const QItemSelectionModel* selection = output_list_.view()->selectionModel();
  if (!selection->hasSelection()) return -1;
  // Of several selected rows, the one the keyboard is on, else the first.
  const QModelIndex current = selection->currentIndex();
  if (current.isValid() && selection->isSelected(current)) return current.row();
  const std::vector<int> rows = SelectedOutputRows();
  return rows.empty() ? -1 : rows.front();
}

void CQuorvelDlg::ShowDetails() {
  const int row = DetailsRow();
  if (row == details_row_) return;
  details_row_ = row;
  details_->setPlainText(row < 0 ? QString()
                                 : QString::fromStdString(logic_->output().ExplainRow(row)));
}

void CQuorvelDlg::CopySelectedRows(bool withExplanations) {
  const std::vector<int> rows = SelectedOutputRows();
  if (rows.empty()) return;
  clipboard_->SetText(logic_->output().RowsAsText(rows, withExplanations));
}

QMenu* CQuorvelDlg::OutputMenu() {
  if (output_menu_ == nullptr) {
    output_menu_ = new QMenu(this);
    QAction* copy = output_menu_->addAction(tr("Copy"), this, [this] { CopySelectedRows(false); });
    copy->setShortcut(QKeySequence::Copy);
    output_menu_->addAction(tr("Copy with explanations"), this, [this] { CopySelectedRows(true); });
  }
  const bool selected = output_list_.view()->selectionModel()->hasSelection();
  for (QAction* action : output_menu_->actions()) action->setEnabled(selected);
  return output_menu_;
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
    window_menu_->addSeparator();
    window_menu_->addAction(automatic_responses_);
    window_menu_->addAction(speed_negotiation_);
    window_menu_->addAction(full_t0_);
    window_menu_->addSeparator();
    window_menu_->addAction(record_trace_);
    window_menu_->addAction(send_to_wireshark_);
    window_menu_->addSeparator();
    window_menu_->addAction(explore_);
    connect(window_menu_, &QMenu::aboutToShow, this, [this] { ShowTraceState(); });
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
  if (watched == output_list_.view() && event->type() == QEvent::KeyPress &&
      static_cast<QKeyEvent*>(event)->matches(QKeySequence::Copy)) {
    CopySelectedRows(false);
    return true;
  }
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
