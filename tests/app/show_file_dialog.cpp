// Shows the database dialog as the window does (Qt's texts in the user's
// language, the filters, the title) on the current display, opening in the
// folder given as its argument, and prints its X window id once it is on
// screen, for screenshots; ends when the dialog closes.
#include <QApplication>
#include <QHeaderView>
#include <QTimer>
#include <QTreeView>

#include <cstdio>
#include <memory>

#include "app/qt_file_dialogs.h"
#include "app/qt_translations.h"
#include "source/open_database.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  const auto qt_texts = kestrin::app::QtTranslations();
  if (qt_texts) QApplication::installTranslator(qt_texts.get());
  const std::string folder = argc > 1 ? argv[1] : ".";
  auto dialog =
      kestrin::app::MakeFileDialog(nullptr, false, kestrin::source::DatabaseDialogFilters(), folder,
                                   kestrin::source::kDatabaseDialogTitle);
  dialog->setOption(QFileDialog::DontUseNativeDialog, true);
  QObject::connect(dialog.get(), &QDialog::finished, &app, &QApplication::quit);
  dialog->resize(820, 460);
  dialog->show();
  QTimer::singleShot(1000, dialog.get(), [&dialog] {
    // Columns wide enough for sizes and types, as a user would drag them.
    if (auto* list = dialog->findChild<QTreeView*>()) {
      list->header()->resizeSection(0, 240);
      list->header()->resizeSection(1, 90);
      list->header()->resizeSection(2, 200);
    }
    std::printf("0x%llx\n", static_cast<unsigned long long>(dialog->winId()));
    std::fflush(stdout);
  });
  return app.exec();
}
