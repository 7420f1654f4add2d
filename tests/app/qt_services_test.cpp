// The real modal services of the main window, driven headless: the file chooser
// of Browse, Load and Save, and the question box.
#include <QApplication>
#include <QComboBox>
#include <QFileDialog>
#include <QListView>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <fstream>
#include <set>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "app/main_dialog.h"
#include "app/qt/qt_services.h"
#include "support/temp_folder.h"

namespace quorvel::gui {
namespace {

// The names the open chooser lists under `filter`, once its folder has been read
// (it is read in the background); the comparison with what is expected comes after.
std::set<std::string> ListedUnder(QFileDialog& dialog, const QString& filter,
                                  std::size_t expected) {
  dialog.selectNameFilter(filter);
  auto* view = dialog.findChild<QListView*>(QStringLiteral("listView"));
  std::set<std::string> names;
  (void)QTest::qWaitFor(
      [&] {
        names.clear();
        const QModelIndex root = view->rootIndex();
        for (int row = 0; row < view->model()->rowCount(root); ++row)
          names.insert(view->model()->index(row, 0, root).data().toString().toStdString());
        return names.size() >= expected;
      },
      5000);
  return names;
}

TEST(DialogFileChooserTest, AllFilesShowsEveryFileNamesWithoutADotToo) {
  testing::TempFolder folder{"chooser"};
  for (const char* name : {"cards.scc", "README", "notes.txt"}) std::ofstream(folder / name) << "x";
  DialogFileChooser chooser;
  std::set<std::string> scc, all;
  std::vector<std::string> filters;
  QTimer::singleShot(0, [&] {
    auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
    ASSERT_NE(dialog, nullptr);
    for (const QString& filter : dialog->nameFilters()) filters.push_back(filter.toStdString());
    ASSERT_EQ(filters.size(), 2u);
    scc = ListedUnder(*dialog, dialog->nameFilters()[0], 1);
    all = ListedUnder(*dialog, dialog->nameFilters()[1], 3);
    dialog->reject();
  });
  FileChooser::Request request;
  request.filter = kSccFilter;
  request.initialName = (folder / "cards.scc").string();
  EXPECT_EQ(chooser.Choose(request), std::nullopt);
  EXPECT_THAT(filters,
              ::testing::ElementsAre("SmartCard Configuration files (*.scc)", "All Files (*)"));
  EXPECT_EQ(scc, std::set<std::string>({"cards.scc"}));
  EXPECT_EQ(all, std::set<std::string>({"cards.scc", "README", "notes.txt"}));
}

TEST(DialogFileChooserTest, SaveGivesANameTypedWithoutExtensionTheChosenFiltersOwn) {
  testing::TempFolder folder{"suffix"};
  DialogFileChooser chooser;
  FileChooser::Request request;
  request.mode = FileChooser::Mode::kSave;
  request.filter = kCommandListFilter;
  request.defaultExtension = "scc";
  request.initialName = (folder / "list.scc").string();
  for (const int filter : {0, 1, 2}) {
    QTimer::singleShot(0, [&] {
      auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
      ASSERT_NE(dialog, nullptr);
      auto* types = dialog->findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
      ASSERT_NE(types, nullptr);
      types->setCurrentIndex(filter);
      emit types->activated(filter);  // as a click on the entry does
      emit types->textActivated(types->itemText(filter));
      dialog->selectFile((folder / "demo").c_str());
      static_cast<QDialog*>(dialog)->accept();  // QFileDialog::accept, as the Save button
    });
    EXPECT_EQ(chooser.Choose(request), (folder / (filter == 2 ? "demo.txt" : "demo.scc")).string())
        << filter;
  }
}

TEST(MessageBoxQuestionTest, NoIsTheDefaultAndEscapeAnswersNo) {
  MessageBoxQuestion question;
  struct Case {
    std::function<void(QMessageBox&)> answer;
    bool yes;
  };
  const Case cases[] = {
      {[](QMessageBox& box) { QTest::keyClick(&box, Qt::Key_Escape); }, false},
      {[](QMessageBox& box) { QTest::keyClick(&box, Qt::Key_Return); }, false},
      {[](QMessageBox& box) { box.button(QMessageBox::Yes)->click(); }, true},
  };
  for (const Case& c : cases) {
    std::string text;
    QTimer::singleShot(0, [&] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      ASSERT_NE(box, nullptr);
      text = box->text().toStdString();
      EXPECT_EQ(box->windowTitle(), "Quorvel");
      EXPECT_EQ(box->defaultButton(), box->button(QMessageBox::No));
      c.answer(*box);
    });
    EXPECT_EQ(question.AskYesNo("Write the log to /home/user/x.txt?"), c.yes);
    EXPECT_EQ(text, "Write the log to /home/user/x.txt?");
  }
}

}  // namespace
}  // namespace quorvel::gui
