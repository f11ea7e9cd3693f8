// `cmake --install` into a temporary prefix: the files land in their XDG
// places, .kst files get their own type and open with Kestrin, and the
// program starts from its menu entry's Exec line on an X display of the
// test's own (Xvfb).
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QMimeDatabase>
#include <QProcess>
#include <QTemporaryDir>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "tests/menus/desktop_entry.h"

namespace kestrin::testing {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// Runs `program` with `arguments` to its end; returns its exit code and
// puts its output (both streams) into `output`.
int RunToEnd(const QString& program, const QStringList& arguments, std::string* output = nullptr,
             const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment()) {
  QProcess process;
  process.setProcessEnvironment(environment);
  process.setProcessChannelMode(QProcess::MergedChannels);
  process.start(program, arguments);
  if (!process.waitForFinished(120000)) {
    process.kill();
    process.waitForFinished();
    return -1;
  }
  if (output != nullptr) *output = process.readAll().toStdString();
  return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

class InstallTest : public ::testing::Test {
 protected:
  // One install for the whole suite: it is what every test looks at.
  static void SetUpTestSuite() {
    prefix_dir_ = new QTemporaryDir();  // NOLINT: freed in TearDownTestSuite
    prefix_ = fs::path(prefix_dir_->path().toStdString()) / "prefix with space";
    std::string output;
    install_rc_ = RunToEnd(QStringLiteral(KESTRIN_CMAKE_COMMAND),
                           {"--install", QStringLiteral(KESTRIN_BUILD_DIR), "--prefix",
                            QString::fromStdString(prefix_.string())},
                           &output);
    install_output_ = output;
  }
  static void TearDownTestSuite() {
    delete prefix_dir_;  // NOLINT
    prefix_dir_ = nullptr;
  }
  void SetUp() override { ASSERT_EQ(install_rc_, 0) << install_output_; }

  static fs::path Share() { return prefix_ / "share"; }

  static inline QTemporaryDir* prefix_dir_ = nullptr;
  static inline fs::path prefix_;
  static inline int install_rc_ = -1;
  static inline std::string install_output_;
};

TEST_F(InstallTest, PutsTheProgramBesideItsReadMeAndLinksItFromBin) {
  const fs::path program = prefix_ / "bin" / "kestrin";
  ASSERT_TRUE(fs::is_symlink(program));
  const fs::path real = fs::canonical(program);
  EXPECT_EQ(real.filename(), "kestrin");
  EXPECT_TRUE((fs::status(real).permissions() & fs::perms::owner_exec) != fs::perms::none);
  EXPECT_EQ(ReadAll(real.parent_path() / "ReadMe.txt"),
            ReadAll(fs::path(KESTRIN_SOURCE_DIR) / "dist" / "ReadMe.txt"));
  // The link is relative, so the installed tree can move.
  EXPECT_TRUE(fs::read_symlink(program).is_relative());

  EXPECT_TRUE(fs::exists(Share() / "icons/hicolor/scalable/apps/kestrin.svg"));
  EXPECT_THAT(ReadAll(Share() / "icons/hicolor/scalable/apps/kestrin.svg"), HasSubstr("<svg"));
}

TEST_F(InstallTest, MenuEntryIsValidAndNamesTheInstalledProgram) {
  const fs::path entry = Share() / "applications" / "kestrin.desktop";
  const std::string text = ReadAll(entry);
  EXPECT_THAT(text, HasSubstr("\nName=Kestrin\n"));
  EXPECT_THAT(text, HasSubstr("\nIcon=kestrin\n"));
  EXPECT_THAT(text, HasSubstr("\nMimeType=application/x-kestrin-pattern;\n"));

  const std::string exec = DesktopEntryValue(text, "Exec");
  const auto argv = ExecArguments(exec, {"/tmp/a b.kst", "/tmp/c.kst"});
  EXPECT_THAT(argv,
              ElementsAre((prefix_ / "bin" / "kestrin").string(), "/tmp/a b.kst", "/tmp/c.kst"));
  EXPECT_EQ(DesktopEntryValue(text, "TryExec"), (prefix_ / "bin" / "kestrin").string());

  std::string output;
  int rc = RunToEnd(QStringLiteral("desktop-file-validate"),
                    {QString::fromStdString(entry.string())}, &output);
  if (rc == -1 && output.empty()) GTEST_SKIP() << "desktop-file-validate is not installed";
  EXPECT_EQ(rc, 0) << output;
}

TEST_F(InstallTest, PatternFilesGetTheirOwnTypeThatOpensWithKestrin) {
  EXPECT_THAT(ReadAll(Share() / "applications" / "mimeinfo.cache"),
              HasSubstr("application/x-kestrin-pattern=kestrin.desktop;"));
  ASSERT_TRUE(fs::exists(Share() / "mime" / "mime.cache"));

  // This process has not looked at the type database yet: it reads the
  // installed one when told where it is.
  qputenv("XDG_DATA_DIRS", QByteArray::fromStdString(Share().string() + ":/usr/share"));
  QMimeDatabase types;
  QMimeType type =
      types.mimeTypeForFile(QStringLiteral("/nowhere/monthly.kst"), QMimeDatabase::MatchExtension);
  EXPECT_EQ(type.name(), "application/x-kestrin-pattern");
  EXPECT_TRUE(type.inherits(QStringLiteral("text/plain")));
  EXPECT_EQ(
      types.mimeTypeForFile(QStringLiteral("/nowhere/MONTHLY.KST"), QMimeDatabase::MatchExtension)
          .name(),
      "application/x-kestrin-pattern");
}

// An X server of the test's own; ended with the test.
class Xvfb {
 public:
  Xvfb() {
    // The server writes its display number to our pipe once it accepts.
    process_.start(QStringLiteral("Xvfb"),
                   {"-displayfd", "1", "-nolisten", "tcp", "-screen", "0", "1024x768x24"});
    if (!process_.waitForStarted(10000)) return;
    for (int i = 0; i < 200 && !process_.canReadLine(); ++i) process_.waitForReadyRead(50);
    const QString number = QString::fromUtf8(process_.readLine()).trimmed();
    if (!number.isEmpty()) display_ = ":" + number;
  }
  ~Xvfb() {
    process_.kill();
    process_.waitForFinished();
  }
  const QString& display() const { return display_; }

 private:
  QProcess process_;
  QString display_;
};

TEST_F(InstallTest, ProgramStartsFromItsMenuEntryOnADisplay) {
  Xvfb xvfb;
  ASSERT_FALSE(xvfb.display().isEmpty()) << "Xvfb did not start";
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert(QStringLiteral("DISPLAY"), xvfb.display());
  environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
  environment.remove(QStringLiteral("WAYLAND_DISPLAY"));

  const std::string text = ReadAll(Share() / "applications" / "kestrin.desktop");
  const auto argv = ExecArguments(DesktopEntryValue(text, "Exec"), {});
  ASSERT_FALSE(argv.empty());
  QStringList arguments;
  for (size_t i = 1; i < argv.size(); ++i) arguments << QString::fromStdString(argv[i]);

  QProcess program;
  program.setProcessEnvironment(environment);
  program.setProcessChannelMode(QProcess::MergedChannels);
  program.start(QString::fromStdString(argv[0]), arguments);
  ASSERT_TRUE(program.waitForStarted(10000));

  bool shown = false;
  std::string tree;
  for (int i = 0; i < 300 && !shown && program.state() == QProcess::Running; ++i) {
    program.waitForFinished(100);
    RunToEnd(QStringLiteral("xwininfo"), {"-root", "-tree"}, &tree, environment);
    shown = tree.find("\"Kestrin Ver0.1\"") != std::string::npos;
  }
  const bool running = program.state() == QProcess::Running;
  program.kill();
  program.waitForFinished();
  EXPECT_TRUE(running) << program.readAll().toStdString();
  EXPECT_TRUE(shown) << tree;
}

}  // namespace
}  // namespace kestrin::testing

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
