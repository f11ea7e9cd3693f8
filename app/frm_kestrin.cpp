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
#include <stdexcept>
#include <variant>

#include "app/guage_line.h"
#include "app/make_child.h"
#include "app/option_pair.h"
#include "app/qt_text.h"
#include "app/window_progress.h"
#include "automation/messages.h"
#include "ui/error_report.h"
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
    : state_(state),
      services_(std::move(services)),
      session_(state, {services_.access, services_.excel, services_.messages}) {
  setObjectName(QStringLiteral("frmKestrin"));
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
  controls_ = ControlTable();
  for (const Control& c : controls_) {
    c.object->setObjectName(Text(c.name));
    // The buttons of an option pair are its elements: optGrid(0), optGrid(1).
    if (auto* pair = dynamic_cast<OptionPair*>(c.object)) {
      for (int i = 0; i < 2; ++i) {
        pair->Button(i)->setObjectName(Text(c.name) + QStringLiteral("(%1)").arg(i));
      }
    }
  }
  ConnectHandlers();
  setFixedSize(sizeHint());
}

std::vector<FrmKestrin::Control> FrmKestrin::ControlTable() const {
  using S = exporting::ExportSettings;
  // clang-format off
  return {
      {Frame3, "Frame3"},
      {cmdAcFile, "cmdAcFile", 1},
      {lblAcFile, "lblAcFile", 0, &S::FileMoto},
      {Frame2, "Frame2"},
      {optTable, "optTable", 6, &S::TblKbn},
      {lblTable, "lblTable"},
      {cboTables, "cboTables", 4, &S::TblName},
      {cboQuerys, "cboQuerys", 5, &S::TblName},
      {Frame4, "Frame4"},
      {cmdXlFile, "cmdXlFile", 2},
      {lblXlFile, "lblXlFile", 0, &S::FileSaki},
      {cboSheet, "cboSheet", 3, &S::ShtName},
      {Frame9, "Frame9"},
      {cboKaiGyo, "cboKaiGyo", 17, &S::KaiGyo},
      {txtExpMax, "txtExpMax", 18, &S::OutGyo},
      {txtCls, "txtCls", 19, &S::ClsGyo},
      {Frame7, "Frame7"},
      {optMidasi, "optMidasi", 22, &S::Midasi},
      {Frame8, "Frame8"},
      {optView, "optView", 23, &S::Display},
      {txtRow, "txtRow", 20, &S::StartRow},
      {txtCol, "txtCol", 21, &S::StartCol},
      {lblIti, "lblIti"},
      {Frame10, "Frame10"},
      {optGrid, "optGrid", 24, &S::GridF},
      {framGrid, "framGrid"},
      {Frame1, "Frame1"},
      {optLine, "optLine", 7, &S::Line},
      {Frame5, "Frame5"},
      {optFilter, "optFilter", 8, &S::Filter},
      {Frame6, "Frame6"},
      {chkFitR, "chkFitR", 10, &S::FitRow},
      {chkFitC, "chkFitC", 9, &S::FitCol},
      {Frame11, "Frame11"},
      {optPivot, "optPivot", 25, &S::PivotF},
      {framPivot, "framPivot"},
      {txtPivotName, "txtPivotName", 16, &S::PvtName},
      {cboPivotR1, "cboPivotR1", 13, &S::PvtRow1},
      {cboPivotR2, "cboPivotR2", 14, &S::PvtRow2},
      {cboPivotC1, "cboPivotC1", 11, &S::PvtCol1},
      {cboPivotC2, "cboPivotC2", 12, &S::PvtCol2},
      {cboPivotVal, "cboPivotVal", 15, &S::PvtVal},
      {cmdExec, "cmdExec", 26},
      {lblCount, "lblCount"},
      {Label33, "Label33"},
      {lblMaxCount, "lblMaxCount"},
      {Picture1, "Picture1"},
      {linGuage, "linGuage"},
      {txtMessege, "txtMessege", 27},
      {m1, "m1"}, {m1a, "m1a"}, {m1b, "m1b"}, {m1m1, "m1m1"}, {m1z, "m1z"},
      {m2, "m2"}, {m8, "m8"}, {m9, "m9"},
  };
  // clang-format on
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

void FrmKestrin::Handle(const char* handler, const std::function<void()>& body) {
  try {
    body();
  } catch (const std::exception& fault) {
    EndBusy();
    ui::ShowInternalFault(services_.messages, handler, fault);
  } catch (...) {
    // Not even a std::exception: still a fault of the program, and no
    // reason to end it with the user's work.
    EndBusy();
    ui::ShowInternalFault(services_.messages, handler,
                          std::runtime_error(automation::msg::kUnknownException()));
  }
}

// --- Start-up and shutdown ---

void FrmKestrin::Form_Load() {
  std::string path = QApplication::applicationDirPath().toStdString();
  if (path.empty() || path.back() != '/') path += '/';
  state_.AppPath = path;

  KeyPreview = true;
  GuageVis(0);

  txtRow->setText(QStringLiteral("1"));
  txtCol->setText(QStringLiteral("1"));
  for (const char* step : {"1", "2", "3", "4", "5"}) cboKaiGyo->addItem(Text(step));
  cboKaiGyo->setCurrentIndex(0);
  txtPivotName->setText(Text("ピボットテーブル1"));
  txtExpMax->setText(QStringLiteral("0"));
  txtCls->setText(QStringLiteral("0"));
  const bool unattended = !Text(services_.command_line).trimmed().isEmpty();
  session_.StartUp(*this, unattended);
  // Last: selecting "する" in optGrid and optPivot enabled their frames.
  SetChoicesEnabled(false);
}

void FrmKestrin::Form_Unload() {
  Handle("Form_Unload", [this] { session_.Shutdown(); });
  Terminate();
}

void FrmKestrin::m1z_Click() {
  Handle("m1z_Click", [this] { session_.Shutdown(); });
  Terminate();
}

void FrmKestrin::closeEvent(QCloseEvent* event) {
  if (!terminated_) Form_Unload();
  event->accept();
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
  settings().TblKbn = index;
}

void FrmKestrin::optMidasi_Click(std::int16_t index) { settings().Midasi = index; }

void FrmKestrin::optView_Click(std::int16_t index) { settings().Display = index; }

void FrmKestrin::optGrid_Click(std::int16_t index) {
  framGrid->setEnabled(index == 1);
  settings().GridF = index;
}

void FrmKestrin::optLine_Click(std::int16_t index) { settings().Line = index; }

void FrmKestrin::optFilter_Click(std::int16_t index) { settings().Filter = index; }

void FrmKestrin::optPivot_Click(std::int16_t index) {
  framPivot->setEnabled(index == 1);
  settings().PivotF = index;
}

void FrmKestrin::chkFitR_Click() { settings().FitRow = chkFitR->isChecked() ? 1 : 0; }

void FrmKestrin::chkFitC_Click() { settings().FitCol = chkFitC->isChecked() ? 1 : 0; }

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

}  // namespace

void FrmKestrin::MoveMarker() {
  const std::optional<int> left = MarkerEdge(txtCol->text(), 3000, 3420, 3840);
  if (!left) return;
  const std::optional<int> top = MarkerEdge(txtRow->text(), 840, 1200, 1560);
  if (!top) return;
  lblIti->move(*left / kTwipsPerPixel, *top / kTwipsPerPixel);
}

void FrmKestrin::CollectSettings() { session_.CollectSettings(*this); }

// --- What the session asks of the window ---

QObject* FrmKestrin::ControlOf(const Setting& setting) const {
  if (setting == Setting(&exporting::ExportSettings::TblName)) {
    return state_.settings.TblKbn != 0 ? static_cast<QObject*>(cboQuerys) : cboTables;
  }
  for (const Control& c : controls_) {
    if (c.setting == setting) return c.object;
  }
  throw std::logic_error("no control shows that setting");
}

void FrmKestrin::Show(Setting setting) {
  QObject* control = ControlOf(setting);
  const exporting::ExportSettings& s = settings();
  if (auto* pair = dynamic_cast<OptionPair*>(control)) {
    pair->Select(s.*std::get<NumberSetting>(setting));
  } else if (auto* check = qobject_cast<QCheckBox*>(control)) {
    check->setChecked(s.*std::get<NumberSetting>(setting) == 1);
  } else if (auto* combo = qobject_cast<QComboBox*>(control)) {
    combo->setEditText(Text(exporting::SettingText(s, setting)));
  } else if (auto* edit = qobject_cast<QLineEdit*>(control)) {
    edit->setText(Text(exporting::SettingText(s, setting)));
  } else if (auto* label = qobject_cast<QLabel*>(control)) {
    label->setText(Text(exporting::SettingText(s, setting)));
  }
}

std::string FrmKestrin::Shown(Setting setting) const {
  QObject* control = ControlOf(setting);
  if (auto* combo = qobject_cast<QComboBox*>(control)) return StdText(combo->currentText());
  if (auto* edit = qobject_cast<QLineEdit*>(control)) return StdText(edit->text());
  if (auto* label = qobject_cast<QLabel*>(control)) return StdText(label->text());
  if (auto* pair = dynamic_cast<OptionPair*>(control)) return std::to_string(pair->Value());
  return qobject_cast<QCheckBox*>(control)->isChecked() ? "1" : "0";
}

bool FrmKestrin::Chosen(NumberSetting option) const {
  return dynamic_cast<OptionPair*>(ControlOf(option))->Button(1)->isChecked();
}

void FrmKestrin::SetChoicesEnabled(bool enabled) {
  for (QWidget* frame :
       std::initializer_list<QWidget*>{Frame2, Frame4, Frame9, framGrid, framPivot}) {
    frame->setEnabled(enabled);
  }
}

void FrmKestrin::UnlockChoices() {
  SetChoicesEnabled(true);
  cboSheet->setEnabled(false);
}

void FrmKestrin::EnableSheetList() { cboSheet->setEnabled(true); }

void FrmKestrin::DisableFrameOf(NumberSetting option) {
  (option == &exporting::ExportSettings::GridF ? framGrid : framPivot)->setEnabled(false);
}

void FrmKestrin::ShowStatus(const std::string& text) {
  txtMessege->setText(Text(text));
  txtMessege->repaint();
}

void FrmKestrin::GuageVis(std::int16_t percent) {
  if (percent == 100) {
    progress_->Flush();
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

// --- The export run ---

void FrmKestrin::cmdExec_Click() {
  Handle("cmdExec_Click", [this] { session_.Export(*this); });
}

}  // namespace kestrin::app
