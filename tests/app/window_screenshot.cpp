// Takes docs/main-window.png: the main window on the X display it is
// started on (docs/make-screenshot.sh gives it an Xvfb of its own), after
// start-up, with the bundled sample chosen and one export run shown in the
// progress controls. Engine doubles stand behind the window.
//
//   window-screenshot output.png
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QScreen>
#include <QThread>

#include <cstdio>

#include "app/frm_kestrin.h"
#include "app/guage_line.h"
#include "app/option_pair.h"
#include "tests/doubles/fake_servers.h"
#include "tests/doubles/recording_ui.h"
#include "tests/support/controls.h"

int main(int argc, char** argv) {
  using namespace kestrin;
  using namespace kestrin::testing;
  if (argc != 2) {
    std::fprintf(stderr, "usage: window-screenshot output.png\n");
    return 2;
  }
  QApplication application(argc, argv);
  testing::FakeAccessServer access;
  testing::FakeXlServer excel;
  testing::RecordingMessageBox messages;
  app::ModuleState state;
  app::FrmKestrin window(state, {access, excel, messages});
  window.Form_Load();

  // What the window shows once the sample is chosen and exported.
  for (QWidget* frame :
       {Widget(window, "Frame2"), Widget(window, "Frame4"), Widget(window, "Frame9"),
        Widget(window, "framGrid"), Widget(window, "framPivot")}) {
    frame->setEnabled(true);
  }
  Label(window, "lblAcFile")->setText(QStringLiteral("/home/user/sample/sample.mdb"));
  Combo(window, "cboTables")->addItems({QString::fromUtf8("売上明細"), QString::fromUtf8("支店")});
  Label(window, "lblXlFile")->setText(QStringLiteral("/home/user/sample/sample.xls"));
  Combo(window, "cboSheet")->addItems({QString::fromUtf8("メモ"), QString::fromUtf8("売上")});
  Combo(window, "cboSheet")->setCurrentIndex(1);
  Edit(window, "txtRow")->setText(QStringLiteral("3"));
  window.txtRow_LostFocus();
  for (QComboBox* box :
       {Combo(window, "cboPivotR1"), Combo(window, "cboPivotR2"), Combo(window, "cboPivotC1"),
        Combo(window, "cboPivotC2"), Combo(window, "cboPivotVal")}) {
    box->addItems({QString::fromUtf8("支店"), QString::fromUtf8("商品"), QString::fromUtf8("金額"),
                   QString::fromUtf8("なし")});
  }
  Combo(window, "cboPivotR2")->setCurrentIndex(3);
  Combo(window, "cboPivotC1")->setCurrentIndex(1);
  Combo(window, "cboPivotC2")->setCurrentIndex(3);
  Combo(window, "cboPivotVal")->setCurrentIndex(2);
  Label(window, "lblMaxCount")->setText(QStringLiteral("240"));
  Label(window, "lblCount")->setText(QStringLiteral("240"));
  window.GuageVis(100);

  window.show();
  for (int i = 0; i < 20; ++i) {
    QApplication::processEvents();
    QThread::msleep(50);
  }
  QPixmap shot = window.screen()->grabWindow(window.winId());
  if (shot.isNull() || !shot.save(QString::fromLocal8Bit(argv[1]))) {
    std::fprintf(stderr, "window-screenshot: could not save %s\n", argv[1]);
    return 1;
  }
  return 0;
}
