// The menu commands that hand something to the desktop (screen-saver
// settings, the read-me file) and the About box.
#include <QAction>

#include "app/desktop.h"
#include "app/frm_about.h"
#include "app/frm_kestrin.h"

namespace kestrin::app {

void FrmKestrin::ConnectMenus() {
  if (services_.desktop == nullptr) {
    own_desktop_ = std::make_unique<QtDesktop>();
    services_.desktop = own_desktop_.get();
  }
  connect(m2, &QAction::triggered, this, [this] { m2_Click(); });
  connect(m8, &QAction::triggered, this, [this] { m8_Click(); });
  connect(m9, &QAction::triggered, this, [this] { m9_Click(); });
}

void FrmKestrin::m2_Click() {
  // Nothing is shown where the desktop offers no such settings.
  Handle("m2_Click", [this] { OpenScreenSaverSettings(*services_.desktop); });
}

void FrmKestrin::m8_Click() {
  // A missing file is the opened program's to report.
  Handle("m8_Click", [this] { services_.desktop->OpenFile(state_.AppPath + "ReadMe.txt"); });
}

void FrmKestrin::m9_Click() {
  Handle("m9_Click", [this] {
    if (about_.isNull()) about_ = FrmAbout::Create(*services_.desktop, this);
    about_->show();
    about_->raise();
    about_->activateWindow();
  });
}

FrmAbout* FrmKestrin::About() const { return about_.data(); }

}  // namespace kestrin::app
