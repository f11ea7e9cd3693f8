// Runs one export on the bundled sample: the sales slips of sample.mdb go to
// the sheet 売上 of a copy of sample.xls, from row 3 under a heading row,
// ruled, filtered and fitted, with a pivot table of amounts by branch and
// product; the workbook is saved and the office closed.
//
//   run-sample [database.mdb table workbook.xls sheet]
#include <cstdio>
#include <filesystem>
#include <string>

#include "app/export_run.h"
#include "automation/failure.h"
#include "automation/mdb/mdb_access.h"
#include "automation/uno/uno_excel.h"

namespace {

using namespace kestrin;

class ConsoleMessageBox : public ui::MessageBox {
 public:
  void Show(const std::string& prompt, const std::string& title) override {
    std::printf("[%s] %s\n", title.c_str(), prompt.c_str());
    ++shown;
  }
  int shown = 0;
};

class ConsoleProgress : public ui::ProgressDisplay {
 public:
  void SetMaxCountCaption(const std::string& caption) override { total = caption; }
  void SetCountCaption(const std::string& caption) override { count = caption; }
  void SetGaugeX2(float) override {}
  std::string total, count;
};

template <class Server>
auto AttachOrStart(Server& server) {
  try {
    return server.GetObject();
  } catch (const automation::AutomationError&) {
    return server.CreateObject();
  }
}

}  // namespace

int main(int argc, char** argv) {
  namespace fs = std::filesystem;
  const fs::path source_dir = KESTRIN_SOURCE_DIR;
  const fs::path output_dir = fs::path(KESTRIN_BUILD_DIR) / "sample-output";
  const std::string database = argc > 1 ? argv[1] : (source_dir / "sample" / "sample.mdb").string();
  const std::string table = argc > 2 ? argv[2] : "売上明細";
  const fs::path workbook_source = argc > 3 ? argv[3] : source_dir / "sample" / "sample.xls";
  const std::string sheet = argc > 4 ? argv[4] : "売上";

  try {
    fs::create_directories(output_dir);
    const fs::path workbook = output_dir / workbook_source.filename();
    fs::copy_file(workbook_source, workbook, fs::copy_options::overwrite_existing);

    auto access_server = automation::mdb::MakeMdbAccessServer();
    auto access = AttachOrStart(*access_server);
    access->OpenCurrentDatabase(database, false);
    std::shared_ptr<automation::DaoDatabase> AcDb = access->CurrentDatabase();

    auto xl_server = automation::uno::MakeUnoXlServer(automation::uno::UnoOptions{});
    std::shared_ptr<automation::XlApplication> XlApp = AttachOrStart(*xl_server);
    XlApp->WorkbooksOpen(workbook.string());

    ConsoleMessageBox box;
    ConsoleProgress progress;
    exporting::ExportTargets targets{AcDb.get(), XlApp, box, progress};
    exporting::ExportSettings s;
    s.FileMoto = database;
    s.TblName = table;
    s.FileSaki = workbook.string();
    s.ShtName = sheet;
    s.StartRow = 3;
    s.StartCol = s.KaiGyo = s.Midasi = s.Display = 1;
    s.GridF = s.Line = s.Filter = s.FitRow = s.FitCol = 1;
    s.PivotF = 1;
    s.PvtName = "支店別集計";
    s.PvtRow1 = "支店";
    s.PvtCol1 = "商品";
    s.PvtRow2 = s.PvtCol2 = exporting::kNoField;
    s.PvtVal = "金額";
    app::CallExportToSheet(targets, s, s.GridF == 1, s.PivotF == 1);
    access->CloseCurrentDatabase();
    if (box.shown > 0) return 1;
    std::printf("%s / %s records of %s written to %s (sheet %s), with a pivot table.\n",
                progress.count.c_str(), progress.total.c_str(), table.c_str(), workbook.c_str(),
                sheet.c_str());
    std::printf("出力、終了しました。\n");
    return 0;
  } catch (const automation::AutomationError& e) {
    std::fprintf(stderr, "run-sample: error %d: %s\n", e.number(), e.description().c_str());
  } catch (const std::exception& e) {
    std::fprintf(stderr, "run-sample: %s\n", e.what());
  }
  return 1;
}
