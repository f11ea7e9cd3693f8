// The file dialogs: the folder of a chosen file becomes the current
// directory, and Qt's dialog shows the callers' filters, folder and title and
// returns the full path or nothing. Qt runs offscreen.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include <QApplication>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include "app/qt_file_dialogs.h"
#include "app/qt_translations.h"
#include "source/open_database.h"
#include "tests/support/temp_folder.h"
#include "ui/file_dialogs.h"
#include "workbook/open_workbook.h"

namespace kestrin {
namespace {

namespace fs = std::filesystem;

// A fresh folder, removed on destruction; the current directory is put back.
class Folder {
 public:
  Folder() : home_(fs::current_path()) {}
  ~Folder() { fs::current_path(home_); }
  const fs::path& path() const { return folder_.path(); }
  fs::path Touch(const std::string& name) const {
    std::ofstream(path() / name) << "x";
    return path() / name;
  }

 private:
  fs::path home_;
  ::kestrin::testing::TempFolder folder_;
};

// Answers with a fixed path and records what it was asked.
class ScriptedDialogs : public ui::FileDialogs {
 public:
  std::string answer;
  std::vector<std::string> asked_dirs, titles, kinds;
  std::string OpenFile(const std::vector<ui::FileFilter>&, const std::string& dir,
                       const std::string& title) override {
    kinds.push_back("open");
    return Record(dir, title);
  }
  std::string SaveFile(const std::vector<ui::FileFilter>&, const std::string& dir,
                       const std::string& title) override {
    kinds.push_back("save");
    return Record(dir, title);
  }

 private:
  std::string Record(const std::string& dir, const std::string& title) {
    asked_dirs.push_back(dir);
    titles.push_back(title);
    return answer;
  }
};

TEST(FileDialogs, TheFolderOfAChosenFileBecomesTheCurrentDirectory) {
  Folder a, b;
  fs::create_directories(b.path() / "深い フォルダ");
  const fs::path chosen = b.Touch("深い フォルダ/データ.mdb");
  fs::current_path(a.path());
  ScriptedDialogs dialogs;

  dialogs.answer.clear();  // cancelled: nothing moves
  EXPECT_EQ(ui::FileOpenDlg(dialogs, {}, ui::CurrentDirectory(), "t"), "");
  EXPECT_EQ(fs::current_path(), a.path());

  dialogs.answer = chosen.string();
  EXPECT_EQ(ui::FileOpenDlg(dialogs, {}, ui::CurrentDirectory(), "t"), chosen.string());
  EXPECT_EQ(fs::current_path(), chosen.parent_path());

  // The next dialog, of the other kind, opens there; a new name in another
  // folder moves the current directory again.
  dialogs.answer = (a.path() / "new-pattern").string();
  EXPECT_EQ(ui::FileSaveDlg(dialogs, {}, ui::CurrentDirectory(), "s"), dialogs.answer);
  EXPECT_EQ(dialogs.asked_dirs.back(), chosen.parent_path().string());
  EXPECT_EQ(fs::current_path(), a.path());
  EXPECT_EQ(dialogs.kinds, (std::vector<std::string>{"open", "open", "save"}));
}

// Runs `answer` on the dialog once it is shown modally.
void WhenShown(std::function<void(QFileDialog&)> answer) {
  QTimer::singleShot(0, qApp, [answer] {
    auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
    ASSERT_NE(dialog, nullptr);
    answer(*dialog);
  });
}

TEST(QtFileDialogs, ShowsTheCallersFiltersFolderAndTitle) {
  Folder folder;
  auto open = app::MakeFileDialog(nullptr, false, source::DatabaseDialogFilters(),
                                  folder.path().string(), source::kDatabaseDialogTitle);
  EXPECT_EQ(open->nameFilters(), (QStringList{"Access(*.mdb *.accdb)", "Access(*.mdb)",
                                              "Access(*.accdb)", "すべてのファイル(*)"}));
  EXPECT_EQ(open->selectedNameFilter(), "Access(*.mdb *.accdb)");
  EXPECT_EQ(open->windowTitle(), "Accessファイルの選択");
  EXPECT_EQ(fs::path(open->directory().absolutePath().toStdString()), folder.path());
  EXPECT_EQ(open->fileMode(), QFileDialog::ExistingFile);
  EXPECT_EQ(open->acceptMode(), QFileDialog::AcceptOpen);

  auto book = app::MakeFileDialog(nullptr, false, workbook::WorkbookDialogFilters(),
                                  folder.path().string(), workbook::kWorkbookDialogTitle);
  EXPECT_EQ(book->nameFilters(), (QStringList{"Excel(*.xls *.xlsx)", "Excel(*.xls)",
                                              "Excel(*.xlsx)", "すべてのファイル(*)"}));
  EXPECT_EQ(book->selectedNameFilter(), "Excel(*.xls *.xlsx)");
  EXPECT_EQ(book->windowTitle(), "Excelファイルの選択");

  auto save = app::MakeFileDialog(nullptr, true, {{"解析ﾊﾟﾀｰﾝ(*.kst)", "*.kst"}},
                                  folder.path().string(), "解析用パターンの保存");
  EXPECT_EQ(save->acceptMode(), QFileDialog::AcceptSave);
  EXPECT_TRUE(save->testOption(QFileDialog::DontConfirmOverwrite));
  EXPECT_TRUE(save->defaultSuffix().isEmpty());

  // A description without its pattern gets it; several patterns go together.
  EXPECT_EQ(app::NameFilter({"Access", "*.mdb;*.accdb"}), "Access (*.mdb *.accdb)");
  EXPECT_EQ(app::NameFilter({"Access (*.mdb *.accdb)", "*.mdb;*.accdb"}), "Access (*.mdb *.accdb)");
}

// The names the dialog lists in its folder under the selected filter, once
// it has read the folder.
QStringList ListedNames(QFileDialog& dialog, int expected) {
  auto* model = dialog.findChild<QFileSystemModel*>();
  if (model == nullptr) return {"(no file list)"};
  const QModelIndex root = model->index(dialog.directory().absolutePath());
  QElapsedTimer waited;
  waited.start();
  while (model->rowCount(root) < expected && waited.elapsed() < 5000) {
    if (model->canFetchMore(root)) model->fetchMore(root);
    QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
  }
  QStringList names;
  for (int row = 0; row < model->rowCount(root); ++row) {
    names << model->fileName(model->index(row, 0, root));
  }
  names.sort();
  return names;
}

TEST(QtFileDialogs, OpenOnTheFilterThatListsEveryDatabaseOrWorkbook) {
  Folder folder;
  for (const char* name :
       {"顧客.mdb", "売上.accdb", "OLD.MDB", "表.xls", "集計.xlsx", "メモ.txt"}) {
    folder.Touch(name);
  }
  auto databases = app::MakeFileDialog(nullptr, false, source::DatabaseDialogFilters(),
                                       folder.path().string(), source::kDatabaseDialogTitle);
  EXPECT_EQ(ListedNames(*databases, 3), (QStringList{"OLD.MDB", "売上.accdb", "顧客.mdb"}));
  auto workbooks = app::MakeFileDialog(nullptr, false, workbook::WorkbookDialogFilters(),
                                       folder.path().string(), workbook::kWorkbookDialogTitle);
  EXPECT_EQ(ListedNames(*workbooks, 2), (QStringList{"表.xls", "集計.xlsx"}));
  workbooks->selectNameFilter(workbooks->nameFilters().back());
  EXPECT_EQ(ListedNames(*workbooks, 6).size(), 6);
}

TEST(QtTranslations, QtsOwnTextsFollowTheUsersLanguage) {
  EXPECT_EQ(app::QtTranslations(QLocale::c()), nullptr);

  const auto japanese = app::QtTranslations(QLocale(QLocale::Japanese, QLocale::Japan));
  ASSERT_NE(japanese, nullptr);
  QCoreApplication::installTranslator(japanese.get());
  auto dialog = app::MakeFileDialog(nullptr, false, source::DatabaseDialogFilters(),
                                    fs::current_path().string(), source::kDatabaseDialogTitle);
  QStringList texts;
  for (auto* button : dialog->findChildren<QPushButton*>()) texts << button->text();
  for (auto* label : dialog->findChildren<QLabel*>()) texts << label->text();
  QCoreApplication::removeTranslator(japanese.get());
  EXPECT_TRUE(texts.contains("キャンセル")) << texts.join(" | ").toStdString();
  EXPECT_FALSE(texts.contains("Cancel")) << texts.join(" | ").toStdString();
  EXPECT_FALSE(texts.contains("File name:")) << texts.join(" | ").toStdString();
}

TEST(QtFileDialogs, ReturnsTheFullPathOrNothingOnCancel) {
  Folder folder;
  const fs::path mdb = folder.Touch("売上.mdb");
  const fs::path existing = folder.Touch("old.kst");
  app::QtFileDialogs dialogs(nullptr);

  WhenShown([&](QFileDialog& d) {
    d.selectFile(QString::fromStdString(mdb.string()));
    static_cast<QDialog&>(d).accept();
  });
  EXPECT_EQ(dialogs.OpenFile(source::DatabaseDialogFilters(), folder.path().string(), "t"),
            mdb.string());

  WhenShown([](QFileDialog& d) { d.reject(); });
  EXPECT_EQ(dialogs.OpenFile(source::DatabaseDialogFilters(), folder.path().string(), "t"), "");

  // Saving: no extension is added, and an existing file is taken without a
  // question (a question would be a modal box the answer never closes).
  WhenShown([](QFileDialog& d) {
    d.selectFile("new");
    static_cast<QDialog&>(d).accept();
  });
  EXPECT_EQ(dialogs.SaveFile({{"解析ﾊﾟﾀｰﾝ(*.kst)", "*.kst"}}, folder.path().string(), "s"),
            (folder.path() / "new").string());
  WhenShown([&](QFileDialog& d) {
    d.selectFile(QString::fromStdString(existing.string()));
    static_cast<QDialog&>(d).accept();
  });
  EXPECT_EQ(dialogs.SaveFile({{"解析ﾊﾟﾀｰﾝ(*.kst)", "*.kst"}}, folder.path().string(), "s"),
            existing.string());
}

}  // namespace
}  // namespace kestrin
