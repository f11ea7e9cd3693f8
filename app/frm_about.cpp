#include "app/frm_about.h"

#include <QFont>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QVBoxLayout>

#include <memory>
#include <string>

#include "app/desktop.h"
#include "app/make_child.h"
#include "app/qt_text.h"

namespace kestrin::app {
namespace {

// The Japanese Gothic font the setup installs (fixed pitch, as the box was
// drawn for), with the platform's Gothic fonts as fallbacks.
QFont AboutFont() {
  QFont font;
  font.setFamilies({QStringLiteral("IPAGothic"), QStringLiteral("IPAゴシック"),
                    QStringLiteral("Noto Sans Mono CJK JP"), QStringLiteral("monospace")});
  font.setPointSize(10);
  return font;
}

void MakeLink(QLabel* label) {
  QFont font = label->font();
  font.setUnderline(true);
  label->setFont(font);
  label->setStyleSheet(QStringLiteral("color: #0000cc;"));
  label->setCursor(Qt::PointingHandCursor);
}

}  // namespace

FrmAbout* FrmAbout::Create(Desktop& desktop, QWidget* parent) {
  // The constructor is private so that every box is made here, on the heap:
  // Qt deletes it when it closes (or with `parent`).
  std::unique_ptr<FrmAbout> box(new FrmAbout(desktop, parent));
  return box.release();
}

FrmAbout::FrmAbout(Desktop& desktop, QWidget* parent) : QDialog(parent), desktop_(desktop) {
  setAttribute(Qt::WA_DeleteOnClose);
  setModal(false);
  setWindowTitle(Text(kAboutCaption));
  setFont(AboutFont());

  fraAbout = MakeChild<QFrame>(this);
  fraAbout->setFrameShape(QFrame::Box);
  fraAbout->setFrameShadow(QFrame::Sunken);
  lblAbout = MakeChild<QLabel>(fraAbout, Text(kAboutCaption));
  QFont title = font();
  title.setPointSize(16);
  title.setBold(true);
  lblAbout->setFont(title);
  Label1 = MakeChild<QLabel>(fraAbout, Text(kCreditLine));
  lblLicence = MakeChild<QLabel>(fraAbout, Text(kLicenceLine));
  Label6 = MakeChild<QLabel>(fraAbout, QStringLiteral("E-mail:") + Text(kMailAddress));
  Label8 = MakeChild<QLabel>(fraAbout, QStringLiteral("ホームページへ"));
  MakeLink(Label6);
  MakeLink(Label8);
  Label6->installEventFilter(this);
  Label8->installEventFilter(this);

  auto labels = std::make_unique<QVBoxLayout>();
  labels->setContentsMargins(24, 18, 24, 18);
  labels->setSpacing(10);
  labels->addWidget(lblAbout, 0, Qt::AlignHCenter);
  labels->addWidget(Label1, 0, Qt::AlignHCenter);
  labels->addWidget(lblLicence, 0, Qt::AlignHCenter);
  labels->addSpacing(8);
  labels->addWidget(Label6, 0, Qt::AlignHCenter);
  labels->addWidget(Label8, 0, Qt::AlignHCenter);
  fraAbout->setLayout(labels.release());

  cmdAbout = MakeChild<QPushButton>(this, QStringLiteral("OK"));
  cmdAbout->setDefault(true);
  cmdAbout->setMinimumWidth(96);
  connect(cmdAbout, &QPushButton::clicked, this, [this] { cmdAbout_Click(); });

  auto buttons = std::make_unique<QHBoxLayout>();
  buttons->addStretch();
  buttons->addWidget(cmdAbout);
  buttons->addStretch();
  auto box = std::make_unique<QVBoxLayout>();
  box->addWidget(fraAbout);
  box->addLayout(buttons.release());
  box->setSizeConstraint(QLayout::SetFixedSize);
  setLayout(box.release());
}

void FrmAbout::cmdAbout_Click() { close(); }

void FrmAbout::Label6_Click() { desktop_.OpenUrl(std::string("mailto:") + kMailAddress); }

void FrmAbout::Label8_Click() { desktop_.OpenUrl(kHomePage); }

bool FrmAbout::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::MouseButtonRelease &&
      static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
    if (watched == Label6) {
      Label6_Click();
      return true;
    }
    if (watched == Label8) {
      Label8_Click();
      return true;
    }
  }
  return QDialog::eventFilter(watched, event);
}

}  // namespace kestrin::app
