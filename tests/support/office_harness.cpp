#include "tests/support/office_harness.h"

#include <signal.h>

#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <thread>

#include <com/sun/star/awt/XWindow.hpp>
#include <com/sun/star/beans/NamedValue.hpp>
#include <com/sun/star/beans/PropertyValue.hpp>
#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/container/XEnumeration.hpp>
#include <com/sun/star/container/XEnumerationAccess.hpp>
#include <com/sun/star/container/XIndexAccess.hpp>
#include <com/sun/star/container/XNameAccess.hpp>
#include <com/sun/star/container/XNamed.hpp>
#include <com/sun/star/document/XUndoManager.hpp>
#include <com/sun/star/document/XUndoManagerSupplier.hpp>
#include <com/sun/star/frame/XComponentLoader.hpp>
#include <com/sun/star/frame/XController.hpp>
#include <com/sun/star/frame/XFrame.hpp>
#include <com/sun/star/frame/XModel.hpp>
#include <com/sun/star/frame/XStorable.hpp>
#include <com/sun/star/lang/Locale.hpp>
#include <com/sun/star/lang/XMultiServiceFactory.hpp>
#include <com/sun/star/sheet/GeneralFunction.hpp>
#include <com/sun/star/sheet/XCellRangeAddressable.hpp>
#include <com/sun/star/sheet/XCellRangeData.hpp>
#include <com/sun/star/sheet/XDataPilotDescriptor.hpp>
#include <com/sun/star/sheet/XDataPilotTable.hpp>
#include <com/sun/star/sheet/XDataPilotTablesSupplier.hpp>
#include <com/sun/star/sheet/XDatabaseRange.hpp>
#include <com/sun/star/sheet/XSpreadsheetView.hpp>
#include <com/sun/star/sheet/XSpreadsheets.hpp>
#include <com/sun/star/sheet/XUnnamedDatabaseRanges.hpp>
#include <com/sun/star/table/BorderLine2.hpp>
#include <com/sun/star/table/CellContentType.hpp>
#include <com/sun/star/table/XCell.hpp>
#include <com/sun/star/table/XColumnRowRange.hpp>
#include <com/sun/star/table/XTableChartsSupplier.hpp>
#include <com/sun/star/text/XTextRange.hpp>
#include <com/sun/star/util/XCloseable.hpp>
#include <com/sun/star/util/XMergeable.hpp>
#include <com/sun/star/util/XNumberFormats.hpp>
#include <com/sun/star/util/XNumberFormatsSupplier.hpp>
#include <com/sun/star/util/XProtectable.hpp>

#include "automation/uno/office_process.h"
#include "automation/uno/uno_runtime.h"

namespace kestrin::automation::uno::testing {

using css::uno::Any;
using css::uno::Reference;
using css::uno::Sequence;
using css::uno::UNO_QUERY;
using css::uno::UNO_QUERY_THROW;

namespace {

std::atomic<int> counter{0};

std::string Unique() { return std::to_string(getpid()) + "_" + std::to_string(counter++); }

// Starts the shared office on first use and ends it with its folder when the
// binary finishes, whether the tests passed or not.
class OfficeEnvironment : public ::testing::Environment {
 public:
  SharedOffice& Get() {
    if (!office_) {
      // Kept only once complete: a failed start fails every test that needs
      // the office, with the reason, instead of handing out a half-made one.
      auto office = std::make_unique<SharedOffice>();
      office->options = OwnOfficeOptions(Dir(), "shared");
      server_ = MakeUnoXlServer(office->options);
      office->app = server_->CreateObject();
      // A freshly started office under load may drop a new bridge: retry.
      for (int attempt = 1; !reader_; ++attempt) {
        try {
          reader_ = std::make_unique<OfficeConnection>(office->options.pipe_name,
                                                       std::chrono::seconds(60));
        } catch (const css::uno::Exception& e) {
          if (attempt == 5) {
            office->app->Quit();
            throw std::runtime_error("cannot attach the reading bridge: " + FromOU(e.Message));
          }
          std::this_thread::sleep_for(std::chrono::milliseconds(200));
        }
      }
      office_ = std::move(office);
    }
    return *office_;
  }
  const fs::path& Dir() {
    if (!dir_) dir_ = std::make_unique<TempFolder>();
    return dir_->path();
  }
  OfficeConnection& Reader() {
    Get();
    return *reader_;
  }
  void TearDown() override {
    reader_.reset();
    if (office_ && office_->app) {
      try {
        office_->app->Quit();
      } catch (...) {
      }
    }
    office_.reset();
    server_.reset();
    dir_.reset();
    RemoveStalePipes();
  }

  // An office killed by a test leaves its pipe file in /tmp; the pipes of
  // this binary's offices carry its process id.
  static void RemoveStalePipes() {
    const std::string prefix = "OSL_PIPE_" + std::to_string(getuid()) + "_kestrin_test_";
    const std::string mine = "_" + std::to_string(getpid()) + "_";
    std::error_code ec;
    for (const auto& e : fs::directory_iterator("/tmp", ec)) {
      const std::string name = e.path().filename().string();
      if (name.starts_with(prefix) && name.find(mine, prefix.size()) != std::string::npos) {
        fs::remove(e.path(), ec);
      }
    }
  }

 private:
  std::unique_ptr<TempFolder> dir_;
  std::unique_ptr<XlServer> server_;
  std::unique_ptr<SharedOffice> office_;
  std::unique_ptr<OfficeConnection> reader_;
};

// gtest owns registered environments.
OfficeEnvironment* const environment =
    static_cast<OfficeEnvironment*>(::testing::AddGlobalTestEnvironment(new OfficeEnvironment));

template <class T>
Reference<T> Q(const Any& any) {
  return Reference<T>(any, UNO_QUERY_THROW);
}
template <class T, class U>
Reference<T> Q(const Reference<U>& from) {
  return Reference<T>(from, UNO_QUERY_THROW);
}

Reference<css::lang::XComponent> Load(const fs::path& path, bool hidden = true) {
  Sequence<css::beans::PropertyValue> args(1);
  args[0].Name = "Hidden";
  args[0].Value <<= hidden;
  auto loader = Q<css::frame::XComponentLoader>(environment->Reader().Desktop());
  auto component =
      loader->loadComponentFromURL(ToOU(FileUrl(fs::absolute(path))), "_blank", 0, args);
  if (!component.is()) throw std::runtime_error("cannot load " + path.string());
  return component;
}

}  // namespace

SharedOffice& Office() { return environment->Get(); }
const fs::path& RunDir() { return environment->Dir(); }

UnoOptions OwnOfficeOptions(const fs::path& dir, const std::string& tag) {
  UnoOptions o;
  o.pipe_name = "kestrin_test_" + tag + "_" + Unique();
  o.profile_dir = (dir / ("profile-" + tag)).string();
  o.backup_dir = (dir / ("backups-" + tag)).string();
  o.start_timeout = std::chrono::seconds(90);
  o.force_headless = true;
  return o;
}

fs::path NewPath(const std::string& stem, const std::string& ext) {
  return RunDir() / (stem + "-" + Unique() + ext);
}

fs::path CopyWorkbook(const std::string& name) {
  fs::path from = fs::path(KESTRIN_TEST_WORKBOOKS) / name;
  fs::path to = NewPath(from.stem().string(), from.extension().string());
  fs::copy_file(from, to);
  fs::permissions(to, fs::perms::owner_read | fs::perms::owner_write);
  return to;
}

namespace {
void MakeWorkbookOrThrow(const fs::path& path, const std::vector<SheetContent>& sheets);
}  // namespace

// UNO exceptions are no std::exception: turned into one, gtest shows them.
void MakeWorkbook(const fs::path& path, const std::vector<SheetContent>& sheets) {
  try {
    MakeWorkbookOrThrow(path, sheets);
  } catch (const css::uno::Exception& e) {
    throw std::runtime_error("cannot make " + path.string() + ": " + FromOU(e.Message));
  }
}

namespace {
void MakeWorkbookOrThrow(const fs::path& path, const std::vector<SheetContent>& sheets) {
  Office();
  auto loader = Q<css::frame::XComponentLoader>(environment->Reader().Desktop());
  Sequence<css::beans::PropertyValue> args(1);
  args[0].Name = "Hidden";
  args[0].Value <<= true;
  auto component = loader->loadComponentFromURL("private:factory/scalc", "_blank", 0, args);
  auto doc = Q<css::sheet::XSpreadsheetDocument>(component);
  auto list = doc->getSheets();
  auto index = Q<css::container::XIndexAccess>(list);
  for (size_t i = 0; i < sheets.size(); ++i) {
    list->insertNewByName(ToOU("tmp" + std::to_string(i)), static_cast<sal_Int16>(i));
    auto sheet = Q<css::sheet::XSpreadsheet>(index->getByIndex(static_cast<sal_Int32>(i)));
    for (size_t r = 0; r < sheets[i].rows.size(); ++r) {
      if (sheets[i].row_height > 0) {
        auto rows = Q<css::table::XColumnRowRange>(sheet)->getRows();
        Q<css::beans::XPropertySet>(rows->getByIndex(static_cast<sal_Int32>(r)))
            ->setPropertyValue("Height", Any(static_cast<sal_Int32>(sheets[i].row_height)));
      }
      for (size_t c = 0; c < sheets[i].rows[r].size(); ++c) {
        auto cell = sheet->getCellByPosition(static_cast<sal_Int32>(c), static_cast<sal_Int32>(r));
        const Cell& v = sheets[i].rows[r][c];
        if (const double* d = std::get_if<double>(&v)) {
          cell->setValue(*d);
        } else if (!std::get<std::string>(v).empty()) {
          cell->setFormula(ToOU(std::get<std::string>(v)));
        }
      }
    }
  }
  auto formats = Q<css::util::XNumberFormatsSupplier>(doc)->getNumberFormats();
  for (size_t i = 0; i < sheets.size(); ++i) {
    auto sheet = Q<css::sheet::XSpreadsheet>(index->getByIndex(static_cast<sal_Int32>(i)));
    for (const auto& [a1, code] : sheets[i].formats) {
      sal_Int32 key = formats->queryKey(ToOU(code), css::lang::Locale(), false);
      if (key < 0) key = formats->addNew(ToOU(code), css::lang::Locale());
      Block b = ParseA1Block(a1);
      Q<css::beans::XPropertySet>(sheet->getCellByPosition(b.left, b.top))
          ->setPropertyValue("NumberFormat", Any(key));
    }
    for (const std::string& a1 : sheets[i].merged) {
      Block b = ParseA1Block(a1);
      Q<css::util::XMergeable>(sheet->getCellRangeByPosition(b.left, b.top, b.right, b.bottom))
          ->merge(true);
    }
  }
  while (index->getCount() > static_cast<sal_Int32>(sheets.size())) {
    list->removeByName(
        Q<css::container::XNamed>(index->getByIndex(index->getCount() - 1))->getName());
  }
  for (size_t i = 0; i < sheets.size(); ++i) {
    Q<css::container::XNamed>(index->getByIndex(static_cast<sal_Int32>(i)))
        ->setName(ToOU(sheets[i].name));
  }
  Sequence<css::beans::PropertyValue> store(1);
  store[0].Name = "FilterName";
  store[0].Value <<= ToOU(path.extension() == ".xlsx" ? "Calc MS Excel 2007 XML" : "MS Excel 97");
  Q<css::frame::XStorable>(component)->storeToURL(ToOU(FileUrl(fs::absolute(path))), store);
  Q<css::util::XCloseable>(component)->close(true);
}
}  // namespace

std::string OfficeSetting(const std::string& node, const std::string& name) {
  auto context = environment->Reader().context();
  auto provider =
      Q<css::lang::XMultiServiceFactory>(context->getServiceManager()->createInstanceWithContext(
          "com.sun.star.configuration.ConfigurationProvider", context));
  css::beans::NamedValue path;
  path.Name = "nodepath";
  path.Value <<= ToOU(node);
  Sequence<Any> args(1);
  args[0] <<= path;
  auto access = Q<css::container::XNameAccess>(provider->createInstanceWithArguments(
      "com.sun.star.configuration.ConfigurationAccess", args));
  rtl::OUString value;
  access->getByName(ToOU(name)) >>= value;
  return FromOU(value);
}

std::string OfficeUiLanguage() { return OfficeSetting("/org.openoffice.Setup/L10N", "ooLocale"); }

std::string ZipMember(const fs::path& zip, const std::string& member) {
  int out[2];
  if (pipe2(out, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  std::vector<std::string> args = {"unzip", "-p", zip.string(), member};
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid = -1;
  int rc = posix_spawnp(&pid, "unzip", &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(out[1]);
  std::string text;
  char buf[4096];
  for (ssize_t n; rc == 0 && (n = read(out[0], buf, sizeof buf)) != 0;) {
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) break;
    text.append(buf, static_cast<size_t>(n));
  }
  close(out[0]);
  int status = 0;
  if (rc == 0) waitpid(pid, &status, 0);
  if (rc != 0 || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    throw std::runtime_error("unzip -p " + zip.string() + " " + member + " failed");
  }
  return text;
}

namespace {

// The document of that file open in the shared office, or null.
Reference<css::frame::XModel> ModelInOffice(const fs::path& path) {
  auto components = environment->Reader().Desktop()->getComponents()->createEnumeration();
  rtl::OUString url = ToOU(FileUrl(fs::weakly_canonical(path)));
  while (components->hasMoreElements()) {
    Reference<css::frame::XModel> model(components->nextElement(), UNO_QUERY);
    if (model.is() && model->getURL() == url) return model;
  }
  return {};
}

Reference<css::frame::XModel> OpenModelInOffice(const fs::path& path) {
  auto model = ModelInOffice(path);
  if (!model.is()) throw std::runtime_error("not open in the office: " + path.string());
  return model;
}

}  // namespace

bool CloseInOffice(const fs::path& path) {
  auto model = ModelInOffice(path);
  if (!model.is()) return false;
  Q<css::util::XCloseable>(model)->close(true);
  return true;
}

void ProtectSheetInOffice(const fs::path& path, const std::string& sheet) {
  auto doc = Q<css::sheet::XSpreadsheetDocument>(OpenModelInOffice(path));
  Q<css::util::XProtectable>(doc->getSheets()->getByName(ToOU(sheet)))->protect("");
}

std::vector<std::string> UndoTitlesInOffice(const fs::path& path) {
  auto undo = Q<css::document::XUndoManagerSupplier>(OpenModelInOffice(path))->getUndoManager();
  std::vector<std::string> titles;
  for (const rtl::OUString& t : undo->getAllUndoActionTitles()) titles.push_back(FromOU(t));
  return titles;
}

std::shared_ptr<XlApplication> OfficeCleanUp::Keep(std::shared_ptr<XlApplication> app) {
  apps_.push_back(app);
  return app;
}

void OfficeCleanUp::KillAtEnd(pid_t pid, const std::string& pipe) {
  offices_.emplace_back(pid, pipe);
}

OfficeCleanUp::~OfficeCleanUp() {
  for (const auto& [pid, pipe] : offices_) {
    if (OfficePid(pipe) == pid) kill(pid, SIGKILL);
  }
  for (auto it = apps_.rbegin(); it != apps_.rend(); ++it) {
    try {
      (*it)->Quit();
    } catch (...) {
    }
  }
}

pid_t OfficePid(const std::string& pipe) {
  for (const auto& entry : fs::directory_iterator("/proc")) {
    std::string name = entry.path().filename().string();
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;
    std::ifstream in(entry.path() / "cmdline", std::ios::binary);
    std::string cmdline((std::istreambuf_iterator<char>(in)), {});
    if (cmdline.find("soffice.bin") != std::string::npos &&
        cmdline.find("name=" + pipe + ";") != std::string::npos) {
      return static_cast<pid_t>(std::stol(name));
    }
  }
  return -1;
}

bool GoneWithin(pid_t pid, std::chrono::seconds limit) {
  auto deadline = std::chrono::steady_clock::now() + limit;
  while (std::chrono::steady_clock::now() < deadline) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    // A zombie ('Z') has ended too; its parent reaps it.
    if (!std::getline(stat, line) || line.find(") Z") != std::string::npos) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return false;
}

SavedBook::SavedBook(const fs::path& path) {
  try {
    doc_ = Q<css::sheet::XSpreadsheetDocument>(Load(path));
  } catch (const css::uno::Exception& e) {
    throw std::runtime_error("cannot load " + path.string() + ": " + FromOU(e.Message));
  }
}

SavedBook::~SavedBook() {
  try {
    Q<css::util::XCloseable>(doc_)->close(true);
  } catch (...) {
  }
}

std::vector<std::string> SavedBook::SheetNames() const {
  std::vector<std::string> names;
  auto index = Q<css::container::XIndexAccess>(doc_->getSheets());
  for (sal_Int32 i = 0; i < index->getCount(); ++i) {
    names.push_back(FromOU(Q<css::container::XNamed>(index->getByIndex(i))->getName()));
  }
  return names;
}

Reference<css::sheet::XSpreadsheet> SavedBook::Sheet(const std::string& name) const {
  return Q<css::sheet::XSpreadsheet>(doc_->getSheets()->getByName(ToOU(name)));
}

SavedBook::CellInfo SavedBook::At(const std::string& sheet, const std::string& a1) const {
  Block b = ParseA1Block(a1);
  auto cell = Sheet(sheet)->getCellByPosition(b.left, b.top);
  CellInfo info;
  switch (cell->getType()) {
    case css::table::CellContentType_VALUE:
      info.kind = Kind::kNumber;
      break;
    case css::table::CellContentType_TEXT:
      info.kind = Kind::kText;
      break;
    case css::table::CellContentType_FORMULA:
      info.kind = Kind::kFormula;
      break;
    default:
      info.kind = Kind::kEmpty;
  }
  info.number = cell->getValue();
  info.text = FromOU(Q<css::table::XCell>(cell)->getFormula());
  if (info.kind == Kind::kText) {
    auto data = Q<css::sheet::XCellRangeData>(cell)->getDataArray();
    rtl::OUString s;
    data[0][0] >>= s;
    info.text = FromOU(s);
  }
  sal_Int32 key = 0;
  Q<css::beans::XPropertySet>(cell)->getPropertyValue("NumberFormat") >>= key;
  auto formats = Q<css::util::XNumberFormatsSupplier>(doc_)->getNumberFormats();
  auto format = Q<css::beans::XPropertySet>(formats->getByKey(key));
  format->getPropertyValue("Type") >>= info.format_type;
  rtl::OUString code;
  format->getPropertyValue("FormatString") >>= code;
  info.format_code = FromOU(code);
  css::lang::Locale locale;
  format->getPropertyValue("Locale") >>= locale;
  info.format_locale = FromOU(locale.Language);
  if (locale.Country.getLength() > 0) info.format_locale += "-" + FromOU(locale.Country);
  info.shown = FromOU(Q<css::text::XTextRange>(cell)->getString());
  return info;
}

std::vector<int> SavedBook::Lines(const std::string& sheet, const std::string& a1) const {
  Block b = ParseA1Block(a1);
  auto props = Q<css::beans::XPropertySet>(Sheet(sheet)->getCellByPosition(b.left, b.top));
  std::vector<int> widths;
  for (const char* name : {"LeftBorder2", "TopBorder2", "RightBorder2", "BottomBorder2",
                           "DiagonalTLBR2", "DiagonalBLTR2"}) {
    css::table::BorderLine2 line;
    props->getPropertyValue(rtl::OUString::createFromAscii(name)) >>= line;
    widths.push_back(static_cast<int>(line.LineWidth));
  }
  return widths;
}

std::optional<Block> SavedBook::AutoFilter(const std::string& sheet) const {
  auto props = Q<css::beans::XPropertySet>(doc_);
  sal_Int16 tab = Q<css::sheet::XCellRangeAddressable>(Sheet(sheet))->getRangeAddress().Sheet;
  auto unnamed =
      Q<css::sheet::XUnnamedDatabaseRanges>(props->getPropertyValue("UnnamedDatabaseRanges"));
  std::vector<Reference<css::sheet::XDatabaseRange>> ranges;
  if (unnamed->hasByTable(tab))
    ranges.push_back(Q<css::sheet::XDatabaseRange>(unnamed->getByTable(tab)));
  auto named = Q<css::container::XNameAccess>(props->getPropertyValue("DatabaseRanges"));
  for (const auto& n : named->getElementNames())
    ranges.push_back(Q<css::sheet::XDatabaseRange>(named->getByName(n)));
  for (const auto& db : ranges) {
    bool on = false;
    Q<css::beans::XPropertySet>(db)->getPropertyValue("AutoFilter") >>= on;
    auto a = db->getDataArea();
    if (on && a.Sheet == tab) return Block{a.StartRow, a.StartColumn, a.EndRow, a.EndColumn};
  }
  return std::nullopt;
}

int SavedBook::RowHeight(const std::string& sheet, int row) const {
  auto rows = Q<css::table::XColumnRowRange>(Sheet(sheet))->getRows();
  sal_Int32 h = 0;
  Q<css::beans::XPropertySet>(rows->getByIndex(row))->getPropertyValue("Height") >>= h;
  return h;
}

int SavedBook::ColumnWidth(const std::string& sheet, int col) const {
  auto cols = Q<css::table::XColumnRowRange>(Sheet(sheet))->getColumns();
  sal_Int32 w = 0;
  Q<css::beans::XPropertySet>(cols->getByIndex(col))->getPropertyValue("Width") >>= w;
  return w;
}

int SavedBook::ChartCount(const std::string& sheet) const {
  return Q<css::table::XTableChartsSupplier>(Sheet(sheet))
      ->getCharts()
      ->getElementNames()
      .getLength();
}

std::map<std::string, SavedBook::Pivot> SavedBook::Pivots(const std::string& sheet) const {
  std::map<std::string, Pivot> result;
  auto tables = Q<css::sheet::XDataPilotTablesSupplier>(Sheet(sheet))->getDataPilotTables();
  auto sheets = SheetNames();
  for (const auto& name : tables->getElementNames()) {
    auto desc = Q<css::sheet::XDataPilotDescriptor>(tables->getByName(name));
    Pivot p;
    auto names = [](const Reference<css::container::XIndexAccess>& fields) {
      std::vector<std::string> out;
      for (sal_Int32 i = 0; i < fields->getCount(); ++i) {
        std::string n = FromOU(Q<css::container::XNamed>(fields->getByIndex(i))->getName());
        if (n != "Data") out.push_back(n);
      }
      return out;
    };
    p.rows = names(desc->getRowFields());
    p.columns = names(desc->getColumnFields());
    p.data = names(desc->getDataFields());
    auto data = desc->getDataFields();
    for (sal_Int32 i = 0; i < data->getCount(); ++i) {
      css::sheet::GeneralFunction f = css::sheet::GeneralFunction_NONE;
      Q<css::beans::XPropertySet>(data->getByIndex(i))->getPropertyValue("Function") >>= f;
      p.data_functions.push_back(static_cast<int>(f));
    }
    auto out = Q<css::sheet::XDataPilotTable>(desc)->getOutputRange();
    p.output = CellPos{out.StartRow, out.StartColumn};
    auto src = desc->getSourceRange();
    p.source_sheet = sheets.at(static_cast<size_t>(src.Sheet));
    p.source = Block{src.StartRow, src.StartColumn, src.EndRow, src.EndColumn};
    result[FromOU(name)] = p;
  }
  return result;
}

std::string SavedBook::ActiveSheetName() const {
  // A hidden view does not take the file's view settings; showing it (no
  // window appears in a headless office) and activating it does.
  auto model = Q<css::frame::XModel>(doc_);
  auto controller = model->getCurrentController();
  auto frame = controller->getFrame();
  frame->getContainerWindow()->setVisible(true);
  frame->activate();
  auto view = Q<css::sheet::XSpreadsheetView>(controller);
  return FromOU(Q<css::container::XNamed>(view->getActiveSheet())->getName());
}

std::unique_ptr<OfficeProcess> StartTestXServer(const fs::path& log, std::string& display) {
  int n = 90;
  while (fs::exists("/tmp/.X11-unix/X" + std::to_string(n)) ||
         fs::exists("/tmp/.X" + std::to_string(n) + "-lock")) {
    ++n;
  }
  const std::string name = ":" + std::to_string(n);
  auto xvfb = std::make_unique<OfficeProcess>(
      "/usr/bin/Xvfb",
      std::vector<std::string>{name, "-nolisten", "tcp", "-screen", "0", "1280x1024x24"},
      std::vector<std::string>{}, log);
  for (int i = 0; i < 100 && !fs::exists("/tmp/.X11-unix/X" + std::to_string(n)); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  if (fs::exists("/tmp/.X11-unix/X" + std::to_string(n))) display = name;
  return xvfb;
}

void QuitQuietly(std::shared_ptr<XlApplication>& app) {
  if (app) {
    try {
      app->Quit();
    } catch (...) {
    }
  }
  app.reset();
}

}  // namespace kestrin::automation::uno::testing
