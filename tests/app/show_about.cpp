// Shows the About box as a real window on the current display and prints
// its X window id once it is on screen, for screenshots; ends when the box
// closes.
#include <QApplication>
#include <QTimer>

#include <cstdio>

#include "app/desktop.h"
#include "app/frm_about.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  kestrin::app::QtDesktop desktop;
  auto* about = kestrin::app::FrmAbout::Create(desktop);
  QObject::connect(about, &QObject::destroyed, &app, &QApplication::quit);
  about->show();
  QTimer::singleShot(500, about, [about] {
    std::printf("0x%llx\n", static_cast<unsigned long long>(about->winId()));
    std::fflush(stdout);
  });
  return app.exec();
}
