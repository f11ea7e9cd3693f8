#include "pattern/pattern_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string_view>
#include <variant>
#include <vector>

#include "automation/messages.h"
#include "export/integer_text.h"
#include "pattern/cp932.h"

namespace kestrin::pattern {
namespace {

using exporting::ExportSettings;
namespace errnum = automation::errnum;

using TextMember = exporting::TextSetting;
using IntegerMember = exporting::NumberSetting;

// The setting behind each key of kPatternKeys, in the same order.
const std::array<exporting::Setting, 24> kMembers{
    &ExportSettings::FileMoto, &ExportSettings::TblKbn,  &ExportSettings::TblName,
    &ExportSettings::FileSaki, &ExportSettings::ShtName, &ExportSettings::StartRow,
    &ExportSettings::StartCol, &ExportSettings::KaiGyo,  &ExportSettings::OutGyo,
    &ExportSettings::ClsGyo,   &ExportSettings::Midasi,  &ExportSettings::Display,
    &ExportSettings::GridF,    &ExportSettings::Line,    &ExportSettings::Filter,
    &ExportSettings::FitRow,   &ExportSettings::FitCol,  &ExportSettings::PivotF,
    &ExportSettings::PvtName,  &ExportSettings::PvtRow1, &ExportSettings::PvtRow2,
    &ExportSettings::PvtCol1,  &ExportSettings::PvtCol2, &ExportSettings::PvtVal,
};

std::string ValueText(const ExportSettings& settings, std::size_t index) {
  return exporting::SettingText(settings, kMembers[index]);
}

// The runtime's number and wording for a failed file operation.
[[noreturn]] void ThrowFileError(const std::string& what, int error, bool reading) {
  std::int32_t number = errnum::kPathFileAccess;
  if (error == ENOENT || error == ENOTDIR) {
    number = reading ? errnum::kFileNotFound : errnum::kPathNotFound;
  } else if (error == EACCES || error == EPERM || error == EROFS) {
    number = errnum::kPermissionDenied;
  } else if (error == ENOSPC || error == EDQUOT) {
    number = errnum::kDiskFull;
  }
  throw PatternError(number, what + ": " + automation::SystemErrorWords(error));
}

// A file descriptor, closed on every path out.
class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  int get() const { return fd_; }
  // Closes now, reporting the result (a delayed write error shows here).
  int Close() {
    int result = ::close(fd_);
    fd_ = -1;
    return result;
  }

 private:
  int fd_;
};

std::string ReadWholeFile(const std::string& path) {
  Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.get() < 0) ThrowFileError(automation::msg::kPatternCannotOpen({path}), errno, true);
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0)
    ThrowFileError(automation::msg::kPatternCannotRead({path}), errno, true);
  if (!S_ISREG(st.st_mode)) {
    throw PatternError(errnum::kPathFileAccess, automation::msg::kPatternNotAFile({path}));
  }
  std::string bytes;
  char buffer[8192];
  while (true) {
    ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      ThrowFileError(automation::msg::kPatternCannotRead({path}), errno, true);
    }
    bytes.append(buffer, static_cast<std::size_t>(n));
  }
  return bytes;
}

std::size_t Utf8CharLength(const std::string& s, std::size_t at) {
  auto lead = static_cast<unsigned char>(s[at]);
  std::size_t n = lead < 0x80 ? 1 : (lead & 0xE0) == 0xC0 ? 2 : (lead & 0xF0) == 0xE0 ? 3 : 4;
  return std::min(n, s.size() - at);
}

// The value of a line whose key starts at byte `key_at`: one character after
// the key skipped, at most `width` characters, outer spaces removed.
std::string ValueAfterKey(const std::string& line, std::size_t key_at, std::size_t key_length,
                          int width) {
  std::size_t at = key_at + key_length;
  if (at < line.size()) at += Utf8CharLength(line, at);
  std::size_t end = at;
  for (int n = 0; n < width && end < line.size(); ++n) end += Utf8CharLength(line, end);
  std::string_view value(line.data() + at, end - at);
  while (!value.empty() && value.front() == ' ') value.remove_prefix(1);
  while (!value.empty() && value.back() == ' ') value.remove_suffix(1);
  return std::string(value);
}

void ReadLine(const std::string& path, int line_number, std::string_view raw,
              ExportSettings& settings) {
  std::optional<std::string> line = Cp932ToUtf8(raw);
  if (!line) {
    throw PatternError(errnum::kInvalidProcedureCall,
                       automation::msg::kPatternLine({path, std::to_string(line_number),
                                                      automation::msg::kPatternNotCp932.text}));
  }
  for (std::size_t k = 0; k < kPatternKeys.size(); ++k) {
    const PatternKey& key = kPatternKeys[k];
    std::size_t at = line->find(key.name);
    if (at == std::string::npos) continue;
    std::string value = ValueAfterKey(*line, at, std::strlen(key.name), key.width);
    if (auto* text = std::get_if<TextMember>(&kMembers[k])) {
      settings.** text = std::move(value);
    } else {
      try {
        settings.*std::get<IntegerMember>(kMembers[k]) = exporting::TextToInt16(value);
      } catch (const automation::AutomationError& e) {
        throw PatternError(
            e.number(), automation::msg::kPatternLine(
                            {path, std::to_string(line_number),
                             automation::msg::kPatternValue({key.name, value, e.description()})}));
      }
    }
    return;
  }
}

// True for a UTF-8 text that is no CP932 text: a byte-order mark, or valid
// UTF-8 with characters beyond ASCII that CP932 cannot read or that take
// three bytes, as Japanese text in UTF-8 does. (Half-width katakana pairs of
// a CP932 file can look like two-byte UTF-8; they stay CP932.)
bool IsUtf8Text(const std::string& bytes) {
  if (bytes.starts_with("\xEF\xBB\xBF")) return true;
  bool beyond_ascii = false, three_bytes = false;
  for (std::size_t i = 0; i < bytes.size();) {
    const auto lead = static_cast<unsigned char>(bytes[i]);
    std::size_t n = lead < 0x80             ? 1
                    : (lead & 0xE0) == 0xC0 ? 2
                    : (lead & 0xF0) == 0xE0 ? 3
                    : (lead & 0xF8) == 0xF0 ? 4
                                            : 0;
    if (n == 0 || (n == 2 && lead < 0xC2) || i + n > bytes.size()) return false;
    for (std::size_t k = 1; k < n; ++k) {
      if ((static_cast<unsigned char>(bytes[i + k]) & 0xC0) != 0x80) return false;
    }
    beyond_ascii |= n > 1;
    three_bytes |= n >= 3;
    i += n;
  }
  return beyond_ascii && (three_bytes || !Cp932ToUtf8(bytes));
}

// Refuses what is no pattern file before any setting changes.
void RefuseWhatIsNoPattern(const std::string& path, const std::string& bytes) {
  if (IsUtf8Text(bytes)) {
    throw PatternError(kNotAPatternFile,
                       path +
                           ": not a pattern file: it is UTF-8 text, and pattern files are "
                           "Shift_JIS (CP932); convert it with iconv -f UTF-8 -t CP932 \"" +
                           path + "\" > new.kst");
  }
  if (bytes.find_first_not_of(" \t\r\n") == std::string::npos) {
    throw PatternError(kNotAPatternFile, path + ": not a pattern file: the file is empty");
  }
  for (const PatternKey& key : kPatternKeys) {
    if (bytes.find(key.name) != std::string::npos) return;
  }
  throw PatternError(
      kNotAPatternFile,
      path + ": not a pattern file: no line names a setting (FileMoto=, TblName=, ...)");
}

}  // namespace

std::string PatternSaveName(const std::string& chosen) {
  std::string name = chosen;
  if (name.size() >= 4) {
    std::string tail = name.substr(name.size() - 4);
    for (char& c : tail) {
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    if (tail == kPatternExtension) name.resize(name.size() - 4);
  }
  if (name.empty()) return {};
  return name + kPatternExtension;
}

std::string PatternText(const ExportSettings& settings) {
  std::string text;
  for (std::size_t k = 0; k < kPatternKeys.size(); ++k) {
    text += kPatternKeys[k].name;
    text += '=';
    text += ValueText(settings, k);
    text += "\r\n";
  }
  return text;
}

void WritePatternFile(const std::string& path, const ExportSettings& settings) {
  for (std::size_t k = 0; k < kPatternKeys.size(); ++k) {
    std::string value = ValueText(settings, k);
    if (value.find_first_of("\r\n") != std::string::npos) {
      throw PatternError(errnum::kInvalidProcedureCall,
                         automation::msg::kPatternLineBreak({path, kPatternKeys[k].name}));
    }
    std::string outside = FirstCharacterOutsideCp932(value);
    if (!outside.empty()) {
      throw PatternError(errnum::kInvalidProcedureCall, automation::msg::kPatternOutsideCp932(
                                                            {path, kPatternKeys[k].name, outside}));
    }
  }
  std::optional<std::string> bytes = Utf8ToCp932(PatternText(settings));
  if (!bytes)
    throw PatternError(errnum::kInvalidProcedureCall, automation::msg::kPatternNotWritable({path}));

  namespace fs = std::filesystem;
  fs::path target(path);
  fs::path folder = target.parent_path().empty() ? fs::path(".") : target.parent_path();
  std::string temp = (folder / ("." + target.filename().string() + ".XXXXXX")).string();
  Fd fd(::mkostemp(temp.data(), O_CLOEXEC));
  if (fd.get() < 0) ThrowFileError(automation::msg::kPatternCannotWrite({path}), errno, false);
  bool keep_temp = false;
  struct RemoveTemp {
    const std::string& name;
    const bool& keep;
    ~RemoveTemp() {
      if (!keep) ::unlink(name.c_str());
    }
  } remove_temp{temp, keep_temp};

  // A replaced file keeps its permissions; a new one is the user's alone.
  struct stat old {};
  if (::stat(path.c_str(), &old) == 0 && S_ISREG(old.st_mode)) {
    ::fchmod(fd.get(), old.st_mode & 07777);
  }
  const char* data = bytes->data();
  std::size_t left = bytes->size();
  while (left > 0) {
    ssize_t n = ::write(fd.get(), data, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      ThrowFileError(automation::msg::kPatternCannotWrite({path}), errno, false);
    }
    data += n;
    left -= static_cast<std::size_t>(n);
  }
  if (::fsync(fd.get()) != 0)
    ThrowFileError(automation::msg::kPatternCannotWrite({path}), errno, false);
  if (fd.Close() != 0) ThrowFileError(automation::msg::kPatternCannotWrite({path}), errno, false);
  if (::rename(temp.c_str(), path.c_str()) != 0) {
    ThrowFileError(automation::msg::kPatternCannotReplace({path}), errno, false);
  }
  keep_temp = true;
}

void PatFileRead(const std::string& PatFile, ExportSettings& settings) {
  const std::string bytes = ReadWholeFile(PatFile);
  RefuseWhatIsNoPattern(PatFile, bytes);
  int line_number = 0;
  std::size_t start = 0;
  while (start < bytes.size()) {
    std::size_t end = bytes.find_first_of("\r\n", start);
    std::size_t next = end;
    if (end == std::string::npos) {
      end = next = bytes.size();
    } else {
      next = end + 1;
      if (bytes[end] == '\r' && next < bytes.size() && bytes[next] == '\n') ++next;
    }
    ReadLine(PatFile, ++line_number, std::string_view(bytes).substr(start, end - start), settings);
    start = next;
  }
}

}  // namespace kestrin::pattern
