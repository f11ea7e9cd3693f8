// `cmake --install` into a temporary prefix: the files land in their XDG
// places, each listed in the install manifest, .kst files get their own type
// and open with Kestrin, the metadata and manual pages are valid and name
// the project's version, and the program starts from its menu entry's Exec
// line on an X display of the test's own (Xvfb). And the Debian package:
// built with cpack, installed into a scratch root with dpkg and removed.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QMimeDatabase>
#include <QProcess>
#include <QTemporaryDir>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <thread>

#include "tests/app/desktop_entry.h"

namespace kestrin::testing {
namespace {

namespace fs = std::filesystem;
using ::testing::AllOf;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;

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

// The lines of a text.
std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty()) lines.push_back(line);
  }
  return lines;
}

// Regular files and links below `root`, as paths relative to it.
std::set<std::string> FilesBelow(const fs::path& root) {
  std::set<std::string> files;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    if (entry.is_symlink() || entry.is_regular_file()) {
      files.insert(entry.path().lexically_relative(root).string());
    }
  }
  return files;
}

// What a gzip file holds.
std::string Gunzipped(const fs::path& path) {
  std::string text;
  RunToEnd(QStringLiteral("gzip"), {"-dc", QString::fromStdString(path.string())}, &text);
  return text;
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
    manifest_ = Lines(ReadAll(fs::path(KESTRIN_BUILD_DIR) / "install_manifest.txt"));
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
  static inline std::vector<std::string> manifest_;
};

TEST_F(InstallTest, PutsTheProgramBesideItsReadMeAndLinksItFromBin) {
  const fs::path program = prefix_ / "bin" / "kestrin";
  ASSERT_TRUE(fs::is_symlink(program));
  const fs::path real = fs::canonical(program);
  EXPECT_EQ(real.filename(), "kestrin");
  EXPECT_TRUE((fs::status(real).permissions() & fs::perms::owner_exec) != fs::perms::none);
  EXPECT_EQ(ReadAll(real.parent_path() / "ReadMe.txt"),
            ReadAll(fs::path(KESTRIN_BUILD_DIR) / "dist" / "ReadMe.txt"));
  // The link is relative, so the installed tree can move.
  EXPECT_TRUE(fs::read_symlink(program).is_relative());

  EXPECT_TRUE(fs::exists(Share() / "icons/hicolor/scalable/apps/kestrin.svg"));
  EXPECT_THAT(ReadAll(Share() / "icons/hicolor/scalable/apps/kestrin.svg"), HasSubstr("<svg"));
}

TEST_F(InstallTest, TheManifestListsEveryFileTheInstallWrote) {
  std::set<std::string> listed;
  for (const auto& path : manifest_) {
    ASSERT_EQ(path.rfind(prefix_.string() + "/", 0), 0u) << path;
    listed.insert(fs::path(path).lexically_relative(prefix_).string());
  }
  // The desktop's caches of file types and menu entries are shared with
  // every other program of the prefix: refreshed, not owned.
  std::set<std::string> written;
  for (const auto& file : FilesBelow(prefix_)) {
    const bool cache =
        (file.rfind("share/mime/", 0) == 0 && file.rfind("share/mime/packages/", 0) != 0) ||
        file == "share/applications/mimeinfo.cache";
    if (!cache) written.insert(file);
  }
  EXPECT_EQ(listed, written);
  EXPECT_THAT(listed, ::testing::IsSupersetOf({"bin/kestrin", "share/applications/kestrin.desktop",
                                               "share/man/man1/kestrin.1.gz",
                                               "share/man/ja/man1/kestrin.1.gz",
                                               "share/doc/kestrin/LICENSE"}));
}

TEST_F(InstallTest, EveryTextNamesTheProjectsVersion) {
  const std::string version = KESTRIN_VERSION;
  std::string output;
  ASSERT_EQ(RunToEnd(QString::fromStdString((prefix_ / "bin" / "kestrin").string()), {"--version"},
                     &output),
            0);
  const auto lines = Lines(output);
  ASSERT_EQ(lines.size(), 3u) << output;
  EXPECT_EQ(lines[0], "kestrin " + version);
  EXPECT_EQ(lines[1].rfind("Copyright (C) ", 0), 0u);
  EXPECT_THAT(lines[2], HasSubstr("MIT"));

  const std::string entry = ReadAll(Share() / "applications" / "kestrin.desktop");
  EXPECT_EQ(DesktopEntryValue(entry, "X-Kestrin-Version"), version);
  EXPECT_THAT(ReadAll(Share() / "metainfo" / "org.example.kestrin.metainfo.xml"),
              HasSubstr("<release version=\"" + version + "\""));
  EXPECT_THAT(ReadAll(fs::canonical(prefix_ / "bin" / "kestrin").parent_path() / "ReadMe.txt"),
              AllOf(HasSubstr("Kestrin Ver" + version + " "), Not(HasSubstr("@"))));
  for (const char* page : {"man/man1/kestrin.1.gz", "man/ja/man1/kestrin.1.gz"}) {
    EXPECT_THAT(Gunzipped(Share() / page),
                AllOf(HasSubstr(".TH KESTRIN 1 \"\" \"Kestrin " + version + "\""),
                      Not(HasSubstr("@PROJECT_VERSION@"))))
        << page;
  }
}

TEST_F(InstallTest, MetadataAndManualPagesAreValid) {
  std::string output;
  EXPECT_EQ(RunToEnd(QStringLiteral("appstreamcli"),
                     {"validate", "--no-net", "--pedantic",
                      QString::fromStdString(
                          (Share() / "metainfo" / "org.example.kestrin.metainfo.xml").string())},
                     &output),
            0)
      << output;

  // man as a reader runs it, with groff's warnings on.
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert(QStringLiteral("LANG"), QStringLiteral("C.UTF-8"));
  environment.insert(QStringLiteral("MANWIDTH"), QStringLiteral("80"));
  environment.insert(QStringLiteral("MAN_KEEP_STDERR"), QStringLiteral("1"));
  for (const auto& [page, heading] : {std::pair{"man/man1/kestrin.1.gz", "EXIT STATUS"},
                                      {"man/ja/man1/kestrin.1.gz", "終了コード"}}) {
    QProcess man;
    man.setProcessEnvironment(environment);
    man.start(QStringLiteral("man"),
              {"--warnings", "-l", QString::fromStdString((Share() / page).string())});
    ASSERT_TRUE(man.waitForFinished(60000)) << page;
    EXPECT_EQ(man.exitCode(), 0) << page;
    EXPECT_EQ(man.readAllStandardError().toStdString(), "") << page;
    EXPECT_THAT(man.readAllStandardOutput().toStdString(),
                AllOf(HasSubstr("KESTRIN(1)"), HasSubstr(heading), HasSubstr("KESTRIN_OFFICE_PIPE"),
                      HasSubstr("backups")))
        << page;
  }
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
  EXPECT_EQ(RunToEnd(QStringLiteral("desktop-file-validate"),
                     {QString::fromStdString(entry.string())}, &output),
            0)
      << output;
  EXPECT_EQ(output, "");
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

// Splits `text` at each `separator`.
std::vector<std::string> Split(const std::string& text, const std::string& separator) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (size_t at; (at = text.find(separator, start)) != std::string::npos;
       start = at + separator.size()) {
    parts.push_back(text.substr(start, at - start));
  }
  parts.push_back(text.substr(start));
  return parts;
}

// The Debian package, built from this build by cpack, installed with dpkg
// into a scratch root (its dependencies are this machine's, which built the
// program) and removed again.
TEST(PackageTest, InstallsItsFilesUnderUsrAndRemovingItLeavesNothing) {
  QTemporaryDir scratch;
  const fs::path dir(scratch.path().toStdString());
  std::string output;
  ASSERT_EQ(RunToEnd(QStringLiteral(KESTRIN_CPACK_COMMAND),
                     {"-G", "DEB", "-B", QString::fromStdString((dir / "out").string()), "--config",
                      QStringLiteral(KESTRIN_BUILD_DIR "/CPackConfig.cmake")},
                     &output),
            0)
      << output;
  fs::path deb;
  for (const auto& entry : fs::directory_iterator(dir / "out")) {
    if (entry.path().extension() == ".deb") deb = entry.path();
  }
  ASSERT_FALSE(deb.empty()) << output;
  EXPECT_EQ(deb.filename().string().rfind(std::string("kestrin_") + KESTRIN_VERSION + "_", 0), 0u);
  const QString deb_arg = QString::fromStdString(deb.string());

  // Its dependencies: what it runs and reads, and the libraries it links,
  // each met on this machine by an installed package.
  std::string depends;
  ASSERT_EQ(RunToEnd(QStringLiteral("dpkg-deb"), {"-f", deb_arg, "Depends"}, &depends), 0);
  depends = Lines(depends).at(0);
  const auto groups = Split(depends, ", ");
  EXPECT_THAT(groups, ::testing::IsSupersetOf({"libreoffice-calc | libreoffice-calc-nogui",
                                               "fonts-ipafont-gothic", "qt6-translations-l10n"}));
  for (const char* library : {"libmdb3", "libqt6widgets6", "libsqlite3-0", "libuno-cppu3"}) {
    EXPECT_THAT(depends, HasSubstr(std::string(library) + " (>= ")) << library;
  }
  for (const auto& group : groups) {
    bool met = false;
    for (const auto& alternative : Split(group, " | ")) {
      std::string status;
      RunToEnd(QStringLiteral("dpkg-query"),
               {"-W", "-f=${Status}", QString::fromStdString(Split(alternative, " ").at(0))},
               &status);
      met = met || status == "install ok installed";
    }
    EXPECT_TRUE(met) << group;
  }

  const fs::path root = dir / "root";
  for (const char* folder :
       {"var/lib/dpkg/info", "var/lib/dpkg/updates", "var/lib/dpkg/triggers"}) {
    fs::create_directories(root / folder);
  }
  std::ofstream(root / "var/lib/dpkg/status").close();
  const QString root_arg = QString::fromStdString("--root=" + root.string());
  ASSERT_EQ(
      RunToEnd(QStringLiteral("dpkg"),
               {root_arg, "--force-depends", "--force-not-root", "--install", deb_arg}, &output),
      0)
      << output;
  EXPECT_EQ(FilesBelow(root / "usr"),
            (std::set<std::string>{
                "bin/kestrin", "lib/kestrin/kestrin", "lib/kestrin/ReadMe.txt",
                "lib/kestrin/kestrin-office", "share/systemd/user/kestrin-office.service",
                "share/applications/kestrin.desktop", "share/doc/kestrin/LICENSE",
                "share/icons/hicolor/scalable/apps/kestrin.svg", "share/man/ja/man1/kestrin.1.gz",
                "share/man/man1/kestrin.1.gz", "share/metainfo/org.example.kestrin.metainfo.xml",
                "share/mime/packages/kestrin.xml"}));
  EXPECT_EQ(fs::read_symlink(root / "usr/bin/kestrin"), "../lib/kestrin/kestrin");
  const std::string entry = ReadAll(root / "usr/share/applications/kestrin.desktop");
  EXPECT_THAT(ExecArguments(DesktopEntryValue(entry, "Exec"), {"/tmp/a.kst"}),
              ElementsAre("/usr/bin/kestrin", "/tmp/a.kst"));
  ASSERT_EQ(RunToEnd(QString::fromStdString((root / "usr/lib/kestrin/kestrin").string()),
                     {"--version"}, &output),
            0);
  EXPECT_EQ(Lines(output).at(0), std::string("kestrin ") + KESTRIN_VERSION);

  ASSERT_EQ(
      RunToEnd(QStringLiteral("dpkg"),
               {root_arg, "--force-depends", "--force-not-root", "--purge", "kestrin"}, &output),
      0)
      << output;
  EXPECT_FALSE(fs::exists(root / "usr"));
  std::set<std::string> left;
  for (const auto& file : FilesBelow(root)) {
    if (file.rfind("var/lib/dpkg/", 0) != 0) left.insert(file);
  }
  EXPECT_TRUE(left.empty()) << *left.begin();
}

}  // namespace
}  // namespace kestrin::testing

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
