#include "app/qt_file_dialogs.h"

#include <QStringList>

namespace kestrin::app {

QString NameFilter(const ui::FileFilter& filter) {
  const QString description = QString::fromStdString(filter.description);
  QString patterns = QString::fromStdString(filter.pattern);
  patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
  patterns = patterns.simplified();
  if (description.endsWith(QLatin1Char('(') + patterns + QLatin1Char(')'))) return description;
  return description + QStringLiteral(" (") + patterns + QLatin1Char(')');
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
