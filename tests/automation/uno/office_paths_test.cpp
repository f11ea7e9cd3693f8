// The office's names of files and pipes, checked against the office's own
// routines: its conversion of file URLs back to paths, and a pipe made the
// way a listening office makes one.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include <osl/file.hxx>
#include <osl/pipe.hxx>
#include <osl/security.hxx>
#include <rtl/ustring.hxx>

#include "automation/failure.h"
#include "automation/uno/office_paths.h"
#include "automation/uno/office_process.h"

namespace kestrin::automation::uno {
namespace {

namespace fs = std::filesystem;

std::string PathOfUrl(const std::string& url) {
  rtl::OUString path;
  EXPECT_EQ(
      osl::FileBase::getSystemPathFromFileURL(rtl::OUString::createFromAscii(url.c_str()), path),
      osl::FileBase::E_None)
      << url;
  const rtl::OString bytes = rtl::OUStringToOString(path, RTL_TEXTENCODING_UTF8);
  return std::string(bytes.getStr(), static_cast<size_t>(bytes.getLength()));
}

TEST(OfficePathsTest, FileUrlsReadBackAsThePathTheyWereMadeFrom) {
  EXPECT_EQ(FileUrl("/home/me/a b.xls"), "file:///home/me/a%20b.xls");
  for (const std::string path :
       {"/home/me/売上 2026/月次#1 (100%).xlsx", "/tmp/a?b&c=d;e/ｶﾀｶﾅ.xls", "/データ/~$x.xls"}) {
    const std::string url = FileUrl(path);
    EXPECT_EQ(
        url.find_first_not_of(
            "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789%/:._-~!$&'()*+,;=@"),
        std::string::npos)
        << url;
    EXPECT_EQ(PathOfUrl(url), path);
  }
  // Bytes that are not UTF-8 name no file the office can reach.
  try {
    FileUrl("/tmp/\x94\x84\x8f\xe3.xls");
    ADD_FAILURE() << "a path in Shift_JIS was taken";
  } catch (const AutomationError& e) {
    EXPECT_EQ(e.number(), 1004);
  }
}

TEST(OfficePathsTest, ThePipeSocketIsWhereTheOfficesRoutinesMakeIt) {
  const std::string name = "kestrin_paths_test_" + std::to_string(getpid());
  EXPECT_FALSE(PipeHasSocket(name));
  {
    // What an office started with --accept=pipe,name=NAME does.
    osl::Pipe listening(rtl::OUString::createFromAscii(name.c_str()), osl_Pipe_CREATE,
                        osl::Security());
    ASSERT_TRUE(listening.is());
    const fs::path socket = PipeSocketPath(name);
    struct stat st {};
    ASSERT_EQ(lstat(socket.c_str(), &st), 0) << socket;
    EXPECT_TRUE(S_ISSOCK(st.st_mode));
    EXPECT_EQ(st.st_uid, getuid());
    EXPECT_EQ(PipeSocketPaths(name), std::vector<fs::path>{socket});
    EXPECT_TRUE(PipeHasSocket(name));
    EXPECT_NO_THROW(CheckPipeOwner(name));
  }
  EXPECT_FALSE(PipeHasSocket(name));
  // Finding the place leaves no socket of its own behind.
  EXPECT_EQ(PipeSocketPath(name).parent_path(), PipeSocketPath("other").parent_path());
  for (const auto& entry : fs::directory_iterator(PipeSocketPath(name).parent_path())) {
    EXPECT_EQ(entry.path().filename().string().find("kestrin_probe_" + std::to_string(getpid())),
              std::string::npos);
  }
}

}  // namespace
}  // namespace kestrin::automation::uno
