#include "app/qt_file_dialogs.h"

#include <QStringList>

namespace kestrin::app {

QString NameFilter(const ui::FileFilter& filter) {
  QString description = QString::fromStdString(filter.description);
  const QString given = QString::fromStdString(filter.pattern);
  QString patterns = given;
  patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
  patterns = patterns.simplified();
  const QString shown = QLatin1Char('(') + patterns + QLatin1Char(')');
  if (description.endsWith(shown)) return description;
  // "Access(*.mdb;*.accdb)" as Windows writes it: Qt reads patterns
  // separated by blanks.
  const QString written = QLatin1Char('(') + given + QLatin1Char(')');
  if (description.endsWith(written)) {
    description.chop(written.size());
    return description + shown;
  }
  return description + QLatin1Char(' ') + shown;
}

std::unique_ptr<QFileDialog> MakeFileDialog(QWidget* owner, bool save,
                                            const std::vector<ui::FileFilter>& filters,
                                            const std::string& initial_dir,
                                            const std::string& title) {
  auto dialog = std::make_unique<QFileDialog>(owner, QString::fromStdString(title),
                                              QString::fromStdString(initial_dir));
  dialog->setModal(true);
  QStringList names;
  for (const auto& f : filters) names << NameFilter(f);
  dialog->setNameFilters(names);
  if (!names.isEmpty()) dialog->selectNameFilter(names.front());
  if (save) {
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setFileMode(QFileDialog::AnyFile);
    dialog->setOption(QFileDialog::DontConfirmOverwrite, true);
    dialog->setDefaultSuffix(QString());
  } else {
    dialog->setAcceptMode(QFileDialog::AcceptOpen);
    dialog->setFileMode(QFileDialog::ExistingFile);
  }
  return dialog;
}

std::string QtFileDialogs::OpenFile(const std::vector<ui::FileFilter>& filters,
                                    const std::string& initial_dir, const std::string& title) {
  return Run(false, filters, initial_dir, title);
}

std::string QtFileDialogs::SaveFile(const std::vector<ui::FileFilter>& filters,
                                    const std::string& initial_dir, const std::string& title) {
  return Run(true, filters, initial_dir, title);
}

std::string QtFileDialogs::Run(bool save, const std::vector<ui::FileFilter>& filters,
                               const std::string& initial_dir, const std::string& title) {
  auto dialog = MakeFileDialog(owner_, save, filters, initial_dir, title);
  if (dialog->exec() != QDialog::Accepted) return {};
  const QStringList chosen = dialog->selectedFiles();
  if (chosen.isEmpty()) return {};
  return chosen.front().toStdString();
}

}  // namespace kestrin::app
