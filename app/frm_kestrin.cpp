#include "app/frm_kestrin.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>

#include <array>
#include <optional>

#include "app/export_run.h"
#include "app/guage_line.h"
#include "app/make_child.h"
#include "app/option_pair.h"
#include "app/window_progress.h"
#include "automation/failure.h"
#include "export/integer_text.h"
#include "ui/version.h"

namespace kestrin::app {

namespace {

constexpr int kTwipsPerPixel = 15;
// The client area of the window, in twips.
constexpr int kClientWidth = 8850;
constexpr int kClientHeight = 6420;

// The Japanese proportional Gothic face of the design, 9 point.
QFont DesignFont(bool bold = false) {
  QFont font(QStringLiteral("IPAPGothic"), 9);
  font.setStyleHint(QFont::SansSerif);
  font.setBold(bold);
  return font;
}

template <class W>
W* Place(W* widget, int left, int top, int width, int height) {
  widget->setGeometry(left / kTwipsPerPixel, top / kTwipsPerPixel, width / kTwipsPerPixel,
                      height / kTwipsPerPixel);
  return widget;
}

QString Text(const char* utf8) { return QString::fromUtf8(utf8); }

QLabel* MakeLabel(QWidget* parent, const char* caption, int left, int top, int width,
                  int height = 270) {
  return Place(MakeChild<QLabel>(parent, Text(caption)), left, top, width, height);
}

QGroupBox* MakeFrame(QWidget* parent, const char* caption, int left, int top, int width,
                     int height) {
  return Place(MakeChild<QGroupBox>(parent, Text(caption)), left, top, width, height);
}

// A frame without border or caption that only groups its controls.
QFrame* MakePlainFrame(QWidget* parent, int left, int top, int width, int height) {
  return Place(MakeChild<QFrame>(parent), left, top, width, height);
}

QComboBox* MakeCombo(QWidget* parent, int left, int top, int width) {
  auto* box = Place(MakeChild<QComboBox>(parent), left, top, width, 330);
  box->setEditable(true);
  // What the user types is the name used: no completion that turns "Sale"
  // into "Sales" or "sales" into "Sales" when the focus moves (without a
  // completer the box matches its entries case-sensitively).
  box->setCompleter(nullptr);
  return box;
}

QLineEdit* MakeTextBox(QWidget* parent, int left, int top, int width, int height = 330) {
  return Place(MakeChild<QLineEdit>(parent), left, top, width, height);
}

// A label that shows a chosen path, sunken like the design's file labels.
QLabel* MakePathLabel(QWidget* parent, int left, int top, int width) {
  auto* label = Place(MakeChild<QLabel>(parent), left, top, width, 360);
  label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  label->setTextFormat(Qt::PlainText);
  return label;
}

// One button of a pair whose caption stands in a label to its left.
struct Choice {
  std::int16_t index;
  const char* caption;
};

// Two option buttons in `frame` from `left`: caption label, button, caption
// label, button, in the order given.
OptionPair* MakeCaptionedPair(QWidget* frame, int left, int top, Choice first, Choice second) {
  std::array<QRadioButton*, 2> buttons{};
  int x = left;
  for (const Choice& choice : {first, second}) {
    const int width = static_cast<int>(Text(choice.caption).size()) * 180 + 60;
    MakeLabel(frame, choice.caption, x, top + 30, width)
        ->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    x += width;
    buttons.at(choice.index) = Place(MakeChild<QRadioButton>(frame), x, top, 300, 330);
    x += 390;
  }
  return MakeChild<OptionPair>(frame, buttons[0], buttons[1]);
}

// A shape or line of the small sheet picture.
void MakeShape(QWidget* parent, int left, int top, int width, int height, const char* colour) {
  auto* shape = Place(MakeChild<QFrame>(parent), left, top, width, height);
  shape->setStyleSheet(QStringLiteral("background-color: %1;").arg(Text(colour)));
}

}  // namespace

FrmKestrin::FrmKestrin(ModuleState& state, WindowServices services)
    : state_(state), services_(std::move(services)) {
  setWindowTitle(Text("Kestrin Ver" KESTRIN_VERSION));
  setFont(DesignFont());
  auto* client = MakeChild<QWidget>(this);
  client->setFixedSize(kClientWidth / kTwipsPerPixel, kClientHeight / kTwipsPerPixel);
  setCentralWidget(client);

  BuildSourceFrame(client);
  BuildDestinationFrame(client);
  BuildOutputFrame(client);
  BuildFormattingFrames(client);
  BuildPivotFrames(client);
  cmdExec = Place(MakeChild<QPushButton>(client, Text("実　　　　行")), 600, 5580, 3240, 600);
  BuildProgress(client);
  BuildMenus();
  NameControls();
  ConnectHandlers();
  setFixedSize(sizeHint());
}

void FrmKestrin::NameControls() {
  setObjectName(QStringLiteral("frmKestrin"));
  const std::pair<QObject*, const char*> named[] = {{Frame3, "Frame3"},
                                                    {cmdAcFile, "cmdAcFile"},
                                                    {lblAcFile, "lblAcFile"},
                                                    {Frame2, "Frame2"},
                                                    {optTable, "optTable"},
                                                    {lblTable, "lblTable"},
                                                    {cboTables, "cboTables"},
                                                    {cboQuerys, "cboQuerys"},
                                                    {Frame4, "Frame4"},
                                                    {cmdXlFile, "cmdXlFile"},
                                                    {lblXlFile, "lblXlFile"},
                                                    {cboSheet, "cboSheet"},
                                                    {Frame9, "Frame9"},
                                                    {cboKaiGyo, "cboKaiGyo"},
                                                    {txtExpMax, "txtExpMax"},
                                                    {txtCls, "txtCls"},
                                                    {Frame7, "Frame7"},
                                                    {optMidasi, "optMidasi"},
                                                    {Frame8, "Frame8"},
                                                    {optView, "optView"},
                                                    {txtRow, "txtRow"},
                                                    {txtCol, "txtCol"},
                                                    {lblIti, "lblIti"},
                                                    {Frame10, "Frame10"},
                                                    {optGrid, "optGrid"},
                                                    {framGrid, "framGrid"},
                                                    {Frame1, "Frame1"},
                                                    {optLine, "optLine"},
                                                    {Frame5, "Frame5"},
                                                    {optFilter, "optFilter"},
                                                    {Frame6, "Frame6"},
                                                    {chkFitR, "chkFitR"},
                                                    {chkFitC, "chkFitC"},
                                                    {Frame11, "Frame11"},
                                                    {optPivot, "optPivot"},
                                                    {framPivot, "framPivot"},
                                                    {txtPivotName, "txtPivotName"},
                                                    {cboPivotR1, "cboPivotR1"},
                                                    {cboPivotR2, "cboPivotR2"},
                                                    {cboPivotC1, "cboPivotC1"},
                                                    {cboPivotC2, "cboPivotC2"},
                                                    {cboPivotVal, "cboPivotVal"},
                                                    {cmdExec, "cmdExec"},
                                                    {lblCount, "lblCount"},
                                                    {Label33, "Label33"},
                                                    {lblMaxCount, "lblMaxCount"},
                                                    {Picture1, "Picture1"},
                                                    {linGuage, "linGuage"},
                                                    {txtMessege, "txtMessege"},
                                                    {m1, "m1"},
                                                    {m1a, "m1a"},
                                                    {m1b, "m1b"},
                                                    {m1m1, "m1m1"},
                                                    {m1z, "m1z"},
                                                    {m2, "m2"},
                                                    {m8, "m8"},
                                                    {m9, "m9"}};
  for (const auto& [object, name] : named) object->setObjectName(QString::fromUtf8(name));
  for (OptionPair* pair : {optTable, optMidasi, optView, optGrid, optLine, optFilter, optPivot}) {
    for (int i = 0; i < 2; ++i) {
      pair->Button(i)->setObjectName(pair->objectName() + QStringLiteral("(%1)").arg(i));
    }
  }
}

FrmKestrin::~FrmKestrin() = default;

void FrmKestrin::BuildSourceFrame(QWidget* client) {
  Frame3 = MakeFrame(client, "出力元ファイル選択", 120, 60, 4320, 2100);
  cmdAcFile = Place(MakeChild<QPushButton>(Frame3, Text("mdbFile")), 120, 300, 1080, 360);
  lblAcFile = MakePathLabel(Frame3, 1260, 300, 2940);

  Frame2 = MakeFrame(Frame3, "テーブル種別", 120, 720, 4080, 1260);
  auto* table = Place(MakeChild<QRadioButton>(Frame2, Text("テーブル")), 240, 300, 1500, 300);
  auto* query = Place(MakeChild<QRadioButton>(Frame2, Text("クエリー")), 1920, 300, 1500, 300);
  optTable = MakeChild<OptionPair>(Frame2, table, query);
  lblTable = MakeLabel(Frame2, "ﾃｰﾌﾞﾙ名", 120, 780, 1020);
  cboTables = MakeCombo(Frame2, 1200, 750, 2760);
  cboQuerys = MakeCombo(Frame2, 1200, 750, 2760);
}

void FrmKestrin::BuildDestinationFrame(QWidget* client) {
  Frame4 = MakeFrame(client, "出力先ファイル選択", 4560, 60, 4170, 1320);
  cmdXlFile = Place(MakeChild<QPushButton>(Frame4, Text("xlsFile")), 120, 300, 1080, 360);
  lblXlFile = MakePathLabel(Frame4, 1260, 300, 2790);
  MakeLabel(Frame4, "シート名", 120, 810, 1020);
  cboSheet = MakeCombo(Frame4, 1200, 780, 2850);
}

void FrmKestrin::BuildOutputFrame(QWidget* client) {
  Frame9 = MakeFrame(client, "出力方法指定", 120, 2220, 4320, 3240);
  MakeLabel(Frame9, "改　　行", 120, 330, 1320);
  cboKaiGyo = MakeCombo(Frame9, 1500, 300, 1200);
  MakeLabel(Frame9, "出　力　件　数", 120, 720, 1320);
  txtExpMax = MakeTextBox(Frame9, 1500, 690, 1200);
  MakeLabel(Frame9, "削除する行数", 120, 1110, 1320);
  txtCls = MakeTextBox(Frame9, 1500, 1080, 1200);
  MakeLabel(Frame9, "開始行", 120, 1500, 1320);
  txtRow = MakeTextBox(Frame9, 1500, 1470, 1200);
  MakeLabel(Frame9, "開始列", 120, 1890, 1320);
  txtCol = MakeTextBox(Frame9, 1500, 1860, 1200);

  Frame7 = MakePlainFrame(Frame9, 120, 2310, 3960, 360);
  MakeLabel(Frame7, "見　出　し", 0, 30, 1320);
  optMidasi = MakeCaptionedPair(Frame7, 1380, 0, {1, "有り"}, {0, "無し"});
  Frame8 = MakePlainFrame(Frame9, 120, 2730, 3960, 360);
  MakeLabel(Frame8, "表　　示", 0, 30, 1320);
  optView = MakeCaptionedPair(Frame8, 1380, 0, {0, "する"}, {1, "しない"});

  // The small sheet: a column-heading band, the cells, and the lines between
  // the first three rows and columns. The marker sits in one of the cells.
  MakeShape(Frame9, 2940, 600, 1260, 180, "#c0c0c0");
  MakeShape(Frame9, 2940, 780, 1260, 1080, "#ffffff");
  MakeShape(Frame9, 3360, 600, 15, 1260, "#808080");
  MakeShape(Frame9, 3780, 600, 15, 1260, "#808080");
  MakeShape(Frame9, 2940, 1140, 1260, 15, "#808080");
  MakeShape(Frame9, 2940, 1500, 1260, 15, "#808080");
  lblIti = MakeLabel(Frame9, "●", 3000, 840, 300, 240);
  lblIti->setAlignment(Qt::AlignCenter);
}

void FrmKestrin::BuildFormattingFrames(QWidget* client) {
  MakeLabel(client, "表作成の指定", 4560, 1470, 1560);
  Frame10 = MakePlainFrame(client, 6180, 1410, 2040, 360);
  optGrid = MakeCaptionedPair(Frame10, 0, 0, {1, "する"}, {0, "しない"});

  framGrid = MakeFrame(client, "表作成", 4560, 1830, 4170, 1380);
  Frame1 = MakePlainFrame(framGrid, 120, 270, 3930, 330);
  MakeLabel(Frame1, "罫　　線", 0, 30, 1440);
  optLine = MakeCaptionedPair(Frame1, 1500, 0, {1, "有り"}, {0, "無し"});
  Frame5 = MakePlainFrame(framGrid, 120, 630, 3930, 330);
  MakeLabel(Frame5, "オートフィルタ", 0, 30, 1440);
  optFilter = MakeCaptionedPair(Frame5, 1500, 0, {1, "有り"}, {0, "無し"});
  Frame6 = MakePlainFrame(framGrid, 120, 990, 3930, 330);
  MakeLabel(Frame6, "オートフィット", 0, 30, 1440);
  chkFitR = Place(MakeChild<QCheckBox>(Frame6, Text("行")), 1680, 0, 720, 330);
  chkFitC = Place(MakeChild<QCheckBox>(Frame6, Text("列")), 2520, 0, 720, 330);
}

void FrmKestrin::BuildPivotFrames(QWidget* client) {
  MakeLabel(client, "ピボットテーブル作成の指定", 4560, 3300, 2400);
  Frame11 = MakePlainFrame(client, 6990, 3240, 1740, 360);
  optPivot = MakeCaptionedPair(Frame11, 0, 0, {1, "する"}, {0, "しない"});

  framPivot = MakeFrame(client, "ピボットテーブル作成", 4560, 3630, 4170, 1950);
  MakeLabel(framPivot, "ﾋﾟﾎﾞｯﾄﾃｰﾌﾞﾙ名", 120, 330, 1320);
  txtPivotName = MakeTextBox(framPivot, 1440, 300, 2610);
  MakeLabel(framPivot, "行", 120, 720, 300);
  cboPivotR1 = MakeCombo(framPivot, 480, 690, 1740);
  cboPivotR2 = MakeCombo(framPivot, 2310, 690, 1740);
  MakeLabel(framPivot, "列", 120, 1110, 300);
  cboPivotC1 = MakeCombo(framPivot, 480, 1080, 1740);
  cboPivotC2 = MakeCombo(framPivot, 2310, 1080, 1740);
  MakeLabel(framPivot, "値", 120, 1500, 300);
  cboPivotVal = MakeCombo(framPivot, 480, 1470, 1740);
}

void FrmKestrin::BuildProgress(QWidget* client) {
  lblCount = MakeLabel(client, "", 4740, 5700, 675, 195);
  lblCount->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  Label33 = MakeLabel(client, "／", 5460, 5700, 195, 195);
  lblMaxCount = MakeLabel(client, "", 5700, 5700, 795, 195);
  for (QLabel* label : {lblCount, Label33, lblMaxCount}) {
    label->setFont(DesignFont(true));
    // The counts stay readable while the window is disabled during a run.
    QPalette palette = label->palette();
    palette.setColor(QPalette::Disabled, QPalette::WindowText,
                     palette.color(QPalette::Active, QPalette::WindowText));
    label->setPalette(palette);
  }
  Picture1 = Place(MakeChild<QFrame>(client), 6540, 5700, 2175, 195);
  Picture1->setFrameStyle(QFrame::Box | QFrame::Plain);
  linGuage = MakeChild<GuageLine>(Picture1);
  linGuage->setGeometry(Picture1->contentsRect());
  txtMessege = MakeTextBox(client, 6540, 5940, 2175, 375);
  txtMessege->setStyleSheet(QStringLiteral("background-color: #e0e0e0;"));
  progress_ = std::make_unique<WindowProgress>(*lblMaxCount, *lblCount, *linGuage);
}

void FrmKestrin::BuildMenus() {
  m1 = menuBar()->addMenu(Text("ファイル"));
  m1a = m1->addAction(Text("パターン開く"));
  m1b = m1->addAction(Text("パターン保存"));
  m1m1 = m1->addSeparator();
  m1z = m1->addAction(Text("終了"));
  m2 = menuBar()->addAction(Text("スクリーンセーバー"));
  m8 = menuBar()->addAction(Text("ヘルプ"));
  m9 = menuBar()->addAction(Text("アバウト"));
}

void FrmKestrin::ConnectHandlers() {
  optTable->OnClick([this](std::int16_t i) { optTable_Click(i); });
  optMidasi->OnClick([this](std::int16_t i) { optMidasi_Click(i); });
  optView->OnClick([this](std::int16_t i) { optView_Click(i); });
  optGrid->OnClick([this](std::int16_t i) { optGrid_Click(i); });
  optLine->OnClick([this](std::int16_t i) { optLine_Click(i); });
  optFilter->OnClick([this](std::int16_t i) { optFilter_Click(i); });
  optPivot->OnClick([this](std::int16_t i) { optPivot_Click(i); });
  connect(chkFitR, &QCheckBox::toggled, this, [this] { chkFitR_Click(); });
  connect(chkFitC, &QCheckBox::toggled, this, [this] { chkFitC_Click(); });
  txtRow->installEventFilter(this);
  txtCol->installEventFilter(this);
  connect(cmdExec, &QPushButton::clicked, this, [this] { cmdExec_Click(); });
  connect(m1z, &QAction::triggered, this, [this] { m1z_Click(); });
  connect(cmdAcFile, &QPushButton::clicked, this, [this] { cmdAcFile_Click(); });
  connect(cboTables, &QComboBox::activated, this, [this] { cboTables_Click(); });
  connect(cboQuerys, &QComboBox::activated, this, [this] { cboQuerys_Click(); });
  connect(cmdXlFile, &QPushButton::clicked, this, [this] { cmdXlFile_Click(); });
  ConnectKeys();
  ConnectMenus();
  connect(m1a, &QAction::triggered, this, [this] { m1a_Click(); });
  connect(m1b, &QAction::triggered, this, [this] { m1b_Click(); });
}

bool FrmKestrin::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::FocusOut) {
    if (watched == txtRow) txtRow_LostFocus();
    if (watched == txtCol) txtCol_LostFocus();
  }
  return QMainWindow::eventFilter(watched, event);
}

// --- Start-up and shutdown ---

void FrmKestrin::Form_Load() {
  std::string path = QApplication::applicationDirPath().toStdString();
  if (path.empty() || path.back() != '/') path += '/';
  state_.AppPath = path;

  KeyPreview = true;
  GuageVis(0);

  auto& s = state_.settings;
  txtRow->setText(QStringLiteral("1"));
  txtCol->setText(QStringLiteral("1"));
  optTable->Select(0);
  s.TblKbn = 0;
  optMidasi->Select(1);
  s.Midasi = 1;
  optView->Select(0);
  s.Display = 0;
  optGrid->Select(1);
  s.GridF = 1;
  optPivot->Select(1);
  s.PivotF = 1;
  for (const char* step : {"1", "2", "3", "4", "5"}) cboKaiGyo->addItem(Text(step));
  cboKaiGyo->setCurrentIndex(0);
  optLine->Select(1);
  s.Line = 1;
  optFilter->Select(1);
  s.Filter = 1;
  chkFitR->setChecked(true);
  chkFitC->setChecked(true);
  s.FitRow = 1;
  s.FitCol = 1;
  txtPivotName->setText(Text("ピボットテーブル1"));
  txtExpMax->setText(QStringLiteral("0"));
  txtCls->setText(QStringLiteral("0"));
  for (QWidget* frame :
       std::initializer_list<QWidget*>{Frame2, Frame4, Frame9, framGrid, framPivot}) {
    frame->setEnabled(false);
  }

  state_.workbook.XlNewF = 0;
  state_.source.AcNewF = 0;

  const QString command_line = QString::fromStdString(services_.command_line).trimmed();
  state_.ExecF = command_line.isEmpty() ? 0 : 1;
}

void FrmKestrin::Form_Unload() {
  Shutdown();
  Terminate();
}

void FrmKestrin::m1z_Click() {
  Shutdown();
  Terminate();
}

void FrmKestrin::closeEvent(QCloseEvent* event) {
  if (!terminated_) Form_Unload();
  event->accept();
}

namespace {

// Runs one shutdown step; a step that fails is skipped.
template <class Step>
void Attempt(Step step) {
  try {
    step();
  } catch (...) {
  }
}

}  // namespace

void FrmKestrin::Shutdown() {
  Attempt([&] { ShowMessage("終了します。"); });
  Attempt([&] { state_.source.AcDb.reset(); });
  Attempt([&] { state_.source.AcApp.reset(); });

  const std::int16_t display = state_.settings.Display;
  const bool own_office = state_.workbook.XlNewF == 1;
  bool clean_up = false;
  if (display == 1) {
    clean_up = true;
  } else if (display == 0) {
    clean_up = state_.ExecF == 0 || own_office;
  } else {
    // Only a pattern file gives other values. An office the program
    // started that no export has shown would otherwise run on unseen.
    clean_up = own_office && state_.ExecF == 0;
  }
  if (!clean_up) return;
  auto& xl = state_.workbook.XlApp;
  auto require = [&xl]() -> automation::XlApplication& {
    if (!xl) throw automation::AutomationError(automation::errnum::kObjectNotSet, "XlApp");
    return *xl;
  };
  Attempt([&] { require().SetDisplayAlerts(false); });
  Attempt([&] { require().ActiveWorkbook()->Close(false); });
  Attempt([&] { require().Quit(); });
}

void FrmKestrin::Terminate() {
  terminated_ = true;
  close();
  QCoreApplication::exit(0);
}

// --- Export settings ---

void FrmKestrin::optTable_Click(std::int16_t index) {
  cboTables->setVisible(index == 0);
  cboQuerys->setVisible(index != 0);
  lblTable->setText(Text(index != 0 ? "ｸｴﾘｰ名" : "ﾃｰﾌﾞﾙ名"));
  state_.settings.TblKbn = index;
}

void FrmKestrin::optMidasi_Click(std::int16_t index) { state_.settings.Midasi = index; }

void FrmKestrin::optView_Click(std::int16_t index) { state_.settings.Display = index; }

void FrmKestrin::optGrid_Click(std::int16_t index) {
  framGrid->setEnabled(index == 1);
  state_.settings.GridF = index;
}

void FrmKestrin::optLine_Click(std::int16_t index) { state_.settings.Line = index; }

void FrmKestrin::optFilter_Click(std::int16_t index) { state_.settings.Filter = index; }

void FrmKestrin::optPivot_Click(std::int16_t index) {
  framPivot->setEnabled(index == 1);
  state_.settings.PivotF = index;
}

void FrmKestrin::chkFitR_Click() { state_.settings.FitRow = chkFitR->isChecked() ? 1 : 0; }

void FrmKestrin::chkFitC_Click() { state_.settings.FitCol = chkFitC->isChecked() ? 1 : 0; }

void FrmKestrin::txtRow_LostFocus() { MoveMarker(); }

void FrmKestrin::txtCol_LostFocus() { MoveMarker(); }

namespace {

// The marker's edge for a start row or column text: "1", "2", or any text
// that sorts after "2" by character codes; none for every other text.
std::optional<int> MarkerEdge(const QString& text, int first, int second, int later) {
  if (text == QStringLiteral("1")) return first;
  if (text == QStringLiteral("2")) return second;
  if (QString::compare(text, QStringLiteral("2"), Qt::CaseSensitive) > 0) return later;
  return std::nullopt;
}

std::string StdText(const QString& text) { return text.toStdString(); }

}  // namespace

void FrmKestrin::MoveMarker() {
  const std::optional<int> left = MarkerEdge(txtCol->text(), 3000, 3420, 3840);
  if (!left) return;
  const std::optional<int> top = MarkerEdge(txtRow->text(), 840, 1200, 1560);
  if (!top) return;
  lblIti->move(*left / kTwipsPerPixel, *top / kTwipsPerPixel);
}

void FrmKestrin::CollectSettings() {
  auto& s = state_.settings;
  s.FileMoto = StdText(lblAcFile->text());
  s.FileSaki = StdText(lblXlFile->text());
  s.TblName = StdText(s.TblKbn != 0 ? cboQuerys->currentText() : cboTables->currentText());
  s.ShtName = StdText(cboSheet->currentText());
  s.StartRow = exporting::TextToInt16(StdText(txtRow->text()));
  s.StartCol = exporting::TextToInt16(StdText(txtCol->text()));
  s.KaiGyo = exporting::TextToInt16(StdText(cboKaiGyo->currentText()));
  s.OutGyo = exporting::TextToInt16(StdText(txtExpMax->text()));
  s.ClsGyo = exporting::TextToInt16(StdText(txtCls->text()));
  s.PvtName = StdText(txtPivotName->text());
  s.PvtRow1 = StdText(cboPivotR1->currentText());
  s.PvtRow2 = StdText(cboPivotR2->currentText());
  s.PvtCol1 = StdText(cboPivotC1->currentText());
  s.PvtCol2 = StdText(cboPivotC2->currentText());
  s.PvtVal = StdText(cboPivotVal->currentText());
}

// --- Progress and busy state ---

void FrmKestrin::GuageVis(std::int16_t percent) {
  if (percent == 100) {
    linGuage->SetX2(ui::kGaugeFullLength);
    linGuage->update();
    return;
  }
  linGuage->SetX2(static_cast<float>(percent * (ui::kGaugeFullLength / 100.0)));
  linGuage->repaint();
}

void FrmKestrin::BeginBusy() {
  if (!busy_cursor_) QApplication::setOverrideCursor(Qt::WaitCursor);
  busy_cursor_ = true;
  setEnabled(false);
}

void FrmKestrin::EndBusy() {
  if (busy_cursor_) QApplication::restoreOverrideCursor();
  busy_cursor_ = false;
  setEnabled(true);
}

ui::ProgressDisplay& FrmKestrin::Progress() {
  return services_.progress != nullptr ? *services_.progress : *progress_;
}

void FrmKestrin::ShowMessage(const std::string& prompt) {
  services_.messages.Show(prompt, ui::kTitle);
}

// --- The export run ---

void FrmKestrin::cmdExec_Click() {
  if (lblAcFile->text().isEmpty()) {
    ShowMessage("mdbファイルを選択して下さい。");
    return;
  }
  if (lblXlFile->text().isEmpty()) {
    ShowMessage("xlsファイルを選択して下さい。");
    return;
  }
  try {
    GuageVis(0);
    CollectSettings();
    auto& s = state_.settings;
    const bool formatting = optGrid->Button(1)->isChecked();
    const bool pivot = optPivot->Button(1)->isChecked();
    if (pivot) {
      if (s.Midasi != 1) {
        ShowMessage("「見出し」を有りに設定して下さい。");
        return;
      }
      if (PivotFieldsRepeat(s)) {
        ShowMessage("ピボットテーブルの項目名が重複してます。");
        return;
      }
      txtMessege->setText(Text("EXCELへ出力中"));
    }
    BeginBusy();
    txtMessege->repaint();
    if (pivot && SecondPivotFieldsRepeat(s)) {
      ShowMessage("ピボットテーブルの項目名が重複してます。");
      EndBusy();
      return;
    }
    exporting::ExportTargets targets{state_.source.AcDb.get(), state_.workbook.XlApp,
                                     services_.messages, Progress()};
    CallExportToSheet(targets, s, formatting, pivot);
    progress_->Flush();
    GuageVis(100);
    txtMessege->clear();
    state_.ExecF = 1;
    EndBusy();
  } catch (const std::exception&) {
    // The run's own failures (a box that is not a 16-bit number) end it
    // without a word; the window is usable again.
    EndBusy();
  }
}

}  // namespace kestrin::app
