#include "app/qt_message_box.h"

#include <QMessageBox>

namespace kestrin::app {

void QtMessageBox::Show(const std::string& prompt, const std::string& title) {
  QMessageBox box(QMessageBox::NoIcon, QString::fromStdString(title),
                  QString::fromStdString(prompt), QMessageBox::Ok, parent_);
  box.setTextFormat(Qt::PlainText);
  box.exec();
}

}  // namespace kestrin::app
