#include "tests/support/jet4_writer.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <cstring>
#include <fstream>
#include <limits>
#include <string_view>
#include <utility>

namespace kestrin::testsupport {
namespace {

using automation::Value;

constexpr std::size_t kPageSize = 4096;
constexpr std::size_t kDataHeaderSize = 14;  // type, free space, owner, unknown, row count
constexpr std::size_t kMaxRowBytes = kPageSize - kDataHeaderSize - 2;
constexpr std::size_t kMaxRowsPerPage = 255;  // a row pointer keeps the row number in one byte
// Flags in a row's offset entry.
constexpr std::uint32_t kDeletedRow = 0xC000;
constexpr std::uint32_t kMovedHome = 0x4000;    // the row holds a pointer to where it went
constexpr std::uint32_t kMovedTarget = 0x8000;  // skipped by scans, reached by the pointer
constexpr std::size_t kMapRowBytes = 69;        // usage map rows: type byte + 68 bytes
constexpr std::size_t kMapBitsPerPage = (kPageSize - 4) * 8;
constexpr std::uint32_t kLongInline = 0x80000000u;
constexpr std::uint32_t kLongSinglePage = 0x40000000u;
constexpr std::size_t kLongHeader = 12;
constexpr std::int32_t kTablesContainerId = 0x0F000001;
constexpr std::int32_t kRootContainerId = 0x0F000000;
constexpr double kCatalogueDate = 45000.5;  // 2023-03-15 12:00, any fixed moment will do

using Page = std::array<std::uint8_t, kPageSize>;
using Bytes = std::vector<std::uint8_t>;

void Put16(std::uint8_t* p, std::uint32_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
}
void Put32(std::uint8_t* p, std::uint32_t v) {
  Put16(p, v);
  Put16(p + 2, v >> 16);
}
void Append16(Bytes& b, std::uint32_t v) {
  b.push_back(static_cast<std::uint8_t>(v));
  b.push_back(static_cast<std::uint8_t>(v >> 8));
}
void Append32(Bytes& b, std::uint32_t v) {
  Append16(b, v);
  Append16(b, v >> 16);
}
void Append64(Bytes& b, std::uint64_t v) {
  Append32(b, static_cast<std::uint32_t>(v));
  Append32(b, static_cast<std::uint32_t>(v >> 32));
}
template <typename T>
void AppendRaw(Bytes& b, T v) {
  std::uint8_t raw[sizeof(T)];
  std::memcpy(raw, &v, sizeof(T));  // little-endian hosts only, as the project targets
  b.insert(b.end(), raw, raw + sizeof(T));
}

// UTF-8 to UTF-16 code units; nullopt when the text is not valid UTF-8.
std::optional<std::u16string> Utf16(std::string_view s) {
  std::u16string out;
  out.reserve(s.size());
  for (std::size_t i = 0; i < s.size();) {
    auto c = static_cast<unsigned char>(s[i]);
    std::uint32_t cp;
    std::size_t n;
    if (c < 0x80) {
      cp = c;
      n = 1;
    } else if ((c & 0xE0) == 0xC0) {
      cp = c & 0x1F;
      n = 2;
    } else if ((c & 0xF0) == 0xE0) {
      cp = c & 0x0F;
      n = 3;
    } else if ((c & 0xF8) == 0xF0) {
      cp = c & 0x07;
      n = 4;
    } else {
      return std::nullopt;
    }
    if (i + n > s.size()) return std::nullopt;
    for (std::size_t k = 1; k < n; ++k) {
      auto cc = static_cast<unsigned char>(s[i + k]);
      if ((cc & 0xC0) != 0x80) return std::nullopt;
      cp = (cp << 6) | (cc & 0x3F);
    }
    static constexpr std::uint32_t kMin[] = {0, 0, 0x80, 0x800, 0x10000};
    if (cp < kMin[n] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return std::nullopt;
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(cp));
    }
    i += n;
  }
  return out;
}

// Stored form of a text. Uncompressed: UCS-2LE. Compressed (when asked for,
// when possible and when shorter): FF FE, then one byte per character for
// runs of U+0001..U+00FF and two bytes per character in between, a 0x00
// byte switching between the two. A character whose low byte is 0 cannot be
// written in the two-byte mode, so such texts stay uncompressed.
Bytes EncodeText(const std::u16string& u, bool compress) {
  auto narrow = [](char16_t c) { return c >= 1 && c <= 0xFF; };
  bool can = compress && std::none_of(u.begin(), u.end(),
                                      [&](char16_t c) { return !narrow(c) && (c & 0xFF) == 0; });
  Bytes b;
  if (can) {
    b.reserve(u.size() + 2);
    b.push_back(0xFF);
    b.push_back(0xFE);
    bool one_byte = true;
    for (std::size_t i = 0; i < u.size(); ++i) {
      if (one_byte && !narrow(u[i])) {
        b.push_back(0x00);
        one_byte = false;
      } else if (!one_byte && narrow(u[i])) {
        // Switching back costs two switch bytes at most; worth it from a run
        // of three narrow characters (or one that ends the text).
        std::size_t run = 0;
        while (i + run < u.size() && narrow(u[i + run])) ++run;
        if (run >= 3 || i + run == u.size()) {
          b.push_back(0x00);
          one_byte = true;
        }
      }
      if (one_byte) {
        b.push_back(static_cast<std::uint8_t>(u[i]));
      } else {
        Append16(b, u[i]);
      }
    }
    if (b.size() < 2 * u.size()) return b;
    b.clear();
  }
  b.reserve(u.size() * 2);
  for (char16_t c : u) Append16(b, c);
  return b;
}

std::string ColumnTypeName(AccessType t) {
  switch (t) {
    case AccessType::kBoolean:
      return "Boolean";
    case AccessType::kByte:
      return "Byte";
    case AccessType::kInteger:
      return "Integer";
    case AccessType::kLong:
      return "Long";
    case AccessType::kCurrency:
      return "Currency";
    case AccessType::kSingle:
      return "Single";
    case AccessType::kDouble:
      return "Double";
    case AccessType::kDateTime:
      return "Date/Time";
    case AccessType::kBinary:
      return "Binary";
    case AccessType::kText:
      return "Text";
    case AccessType::kOle:
      return "OLE";
    case AccessType::kMemo:
      return "Memo";
    case AccessType::kGuid:
      return "GUID";
    default:
      return "type " + std::to_string(static_cast<int>(t));
  }
}

// Size of a fixed column in the row, or 0 for variable-length columns.
// Booleans are fixed but live in the null mask.
int FixedSize(AccessType t) {
  switch (t) {
    case AccessType::kBoolean:
      return 0;
    case AccessType::kByte:
      return 1;
    case AccessType::kInteger:
      return 2;
    case AccessType::kLong:
    case AccessType::kSingle:
      return 4;
    case AccessType::kCurrency:
    case AccessType::kDouble:
    case AccessType::kDateTime:
      return 8;
    case AccessType::kGuid:
      return 16;
    default:
      return 0;
  }
}

bool IsFixed(AccessType t) { return t == AccessType::kBoolean || FixedSize(t) > 0; }
bool IsLong(AccessType t) { return t == AccessType::kMemo || t == AccessType::kOle; }

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    auto x = static_cast<unsigned char>(a[i]);
    auto y = static_cast<unsigned char>(b[i]);
    if (x < 0x80 && y < 0x80) {
      if (std::tolower(x) != std::tolower(y)) return false;
    } else if (x != y) {
      return false;
    }
  }
  return true;
}

std::u16string CheckedName(const std::string& name, const std::string& what) {
  if (name.empty()) throw Jet4WriteError(what + ": the name is empty");
  auto u = Utf16(name);
  if (!u) throw Jet4WriteError(what + " '" + name + "': the name is not valid UTF-8");
  if (u->size() > 64)
    throw Jet4WriteError(what + " '" + name + "': the name is over 64 characters");
  return *u;
}

struct ColumnLayout {
  Jet4Column def;
  std::u16string name;
  int number = 0;        // position in the definition and bit in the null mask
  int fixed_offset = 0;  // fixed columns: offset after the column count
  int var_index = 0;     // variable columns: entry in the offset table
  int length = 0;        // as the definition records it
};

struct TableLayout {
  std::string name;
  std::vector<ColumnLayout> columns;
  int var_count = 0;
  int fixed_bytes = 0;
  bool system = false;
};

TableLayout Layout(const std::string& table_name, const std::vector<Jet4Column>& columns,
                   bool system) {
  TableLayout t;
  t.name = table_name;
  t.system = system;
  if (columns.empty()) throw Jet4WriteError("table '" + table_name + "': it has no columns");
  if (columns.size() > 255)
    throw Jet4WriteError("table '" + table_name + "': more than 255 columns");
  for (std::size_t i = 0; i < columns.size(); ++i) {
    const Jet4Column& c = columns[i];
    std::string what = "table '" + table_name + "', column " + std::to_string(i + 1);
    ColumnLayout l;
    l.def = c;
    l.name = CheckedName(c.name, what);
    for (const ColumnLayout& other : t.columns)
      if (SameName(other.def.name, c.name))
        throw Jet4WriteError(what + ": a second column named '" + c.name + "'");
    l.number = static_cast<int>(i);
    switch (c.type) {
      case AccessType::kText:
      case AccessType::kBinary:
        if (c.max_length < 1 || c.max_length > 255)
          throw Jet4WriteError(what + " '" + c.name + "': length " + std::to_string(c.max_length) +
                               " is outside 1..255");
        l.length = c.type == AccessType::kText ? 2 * c.max_length : c.max_length;
        break;
      case AccessType::kMemo:
      case AccessType::kOle:
        l.length = 0;
        break;
      case AccessType::kBoolean:
        l.length = 1;
        break;
      case AccessType::kByte:
      case AccessType::kInteger:
      case AccessType::kLong:
      case AccessType::kCurrency:
      case AccessType::kSingle:
      case AccessType::kDouble:
      case AccessType::kDateTime:
      case AccessType::kGuid:
        l.length = FixedSize(c.type);
        break;
      default:
        throw Jet4WriteError(what + " '" + c.name + "': " + ColumnTypeName(c.type) +
                             " columns cannot be written");
    }
    if (IsFixed(c.type)) {
      l.fixed_offset = c.type == AccessType::kBoolean ? 0 : t.fixed_bytes;
      t.fixed_bytes += FixedSize(c.type);
    } else {
      l.var_index = t.var_count++;
    }
    t.columns.push_back(std::move(l));
  }
  return t;
}

// Pages of the file being built. Page numbers are indexes.
class PageFile {
 public:
  std::uint32_t Allocate() {
    pages_.emplace_back();
    pages_.back().fill(0);
    return static_cast<std::uint32_t>(pages_.size() - 1);
  }
  std::uint8_t* operator[](std::uint32_t n) { return pages_[n].data(); }
  std::size_t size() const { return pages_.size(); }
  Bytes Serialize() const {
    Bytes out;
    out.reserve(pages_.size() * kPageSize);
    for (const Page& p : pages_) out.insert(out.end(), p.begin(), p.end());
    return out;
  }

 private:
  std::vector<Page> pages_;
};

// A page that holds rows from its end towards its header: data pages of one
// table, long-value pages, and the pages that hold usage maps.
class RowPage {
 public:
  RowPage(PageFile& file, std::uint32_t number, std::uint32_t owner, bool lval)
      : file_(file), number_(number) {
    std::uint8_t* p = file_[number_];
    p[0] = 0x01;
    p[1] = 0x01;
    if (lval) {
      std::memcpy(p + 4, "LVAL", 4);
    } else {
      Put32(p + 4, owner);
    }
    Update();
  }
  std::uint32_t number() const { return number_; }
  std::size_t rows() const { return rows_; }
  bool Fits(std::size_t bytes) const {
    return rows_ < kMaxRowsPerPage && kDataHeaderSize + 2 * (rows_ + 1) + bytes <= top_;
  }
  // Adds a row; the caller checked Fits. Returns its row pointer.
  // `slot_flags` go into the row's offset entry (kDeletedRow and the like).
  std::uint32_t Add(const std::uint8_t* data, std::size_t size, std::uint32_t slot_flags = 0) {
    std::uint8_t* p = file_[number_];
    top_ -= size;
    std::memcpy(p + top_, data, size);
    Put16(p + kDataHeaderSize + 2 * rows_, static_cast<std::uint32_t>(top_) | slot_flags);
    ++rows_;
    Update();
    return (number_ << 8) | static_cast<std::uint32_t>(rows_ - 1);
  }

 private:
  void Update() {
    std::uint8_t* p = file_[number_];
    Put16(p + 2, static_cast<std::uint32_t>(top_ - kDataHeaderSize - 2 * rows_));
    Put16(p + 12, static_cast<std::uint32_t>(rows_));
  }

  PageFile& file_;
  std::uint32_t number_;
  std::size_t rows_ = 0;
  std::size_t top_ = kPageSize;
};

// Appends rows to pages of one kind, opening a new page when the last is full.
class RowPages {
 public:
  RowPages(PageFile& file, std::uint32_t owner, bool lval)
      : file_(file), owner_(owner), lval_(lval) {}
  std::uint32_t Add(const Bytes& row, std::uint32_t slot_flags = 0) {
    if (pages_.empty() || !pages_.back().Fits(row.size()))
      pages_.emplace_back(file_, file_.Allocate(), owner_, lval_);
    return pages_.back().Add(row.data(), row.size(), slot_flags);
  }
  // Makes an allocated, still empty page the first page to fill.
  void Adopt(std::uint32_t number) { pages_.emplace_back(file_, number, owner_, lval_); }
  std::vector<std::uint32_t> PageNumbers() const {
    std::vector<std::uint32_t> n;
    for (const RowPage& p : pages_) n.push_back(p.number());
    return n;
  }

 private:
  PageFile& file_;
  std::uint32_t owner_;
  bool lval_;
  std::vector<RowPage> pages_;
};

enum : std::uint8_t { kLive, kDeleted, kMoved };

class Writer {
 public:
  explicit Writer(const Jet4Database& db)
      : db_(db), lval_(file_, 0, true), maps_(file_, 0, false) {}

  Bytes Build();

 private:
  struct PendingTable {
    TableLayout layout;
    const std::vector<std::vector<Value>>* rows = nullptr;  // user tables
    std::vector<std::vector<Value>> own_rows;               // catalogue tables
    std::vector<std::uint8_t> state;                        // by row index: kLive...
    const std::vector<std::vector<Value>>& Rows() const { return rows ? *rows : own_rows; }
    std::int32_t flags = 0;
    std::uint32_t tdef_page = 0;
    std::vector<std::uint32_t> tdef_pages;
  };

  void CheckNames();
  std::vector<PendingTable> DescribeTables();
  void FillCatalogue(std::vector<PendingTable>& tables);
  void WriteTable(const PendingTable& p);
  Bytes EncodeValue(const ColumnLayout& c, const Value& v, const std::string& where);
  Bytes EncodeRow(const TableLayout& t, const std::vector<Value>& row, const std::string& where);
  Bytes LongValue(const Bytes& data, bool allow_inline);
  Bytes TableDefinition(const PendingTable& t, std::uint32_t rows, std::uint32_t used_map,
                        std::uint32_t free_map);
  Bytes UsageMap(const std::vector<std::uint32_t>& pages);
  void PlaceDefinition(const Bytes& blob, const std::vector<std::uint32_t>& pages);
  static std::size_t DefinitionPages(std::size_t blob_size);
  void WriteHeader();

  const Jet4Database& db_;
  PageFile file_;
  RowPages lval_;
  RowPages maps_;
};

// Stored bytes of a long value plus its 12-byte header; the row gets the
// header and, for inline values, the bytes after it.
Bytes Writer::LongValue(const Bytes& data, bool allow_inline) {
  Bytes out;
  auto size = static_cast<std::uint32_t>(data.size());
  if (data.size() > 0x3FFFFFFF) throw Jet4WriteError("a long value is over 1 GB");
  if (allow_inline) {
    Append32(out, size | kLongInline);
    Append32(out, 0);
    Append32(out, 0);
    out.insert(out.end(), data.begin(), data.end());
    return out;
  }
  if (data.size() <= kMaxRowBytes) {
    std::uint32_t ptr = lval_.Add(data);
    Append32(out, size | kLongSinglePage);
    Append32(out, ptr);
    Append32(out, 0);
    return out;
  }
  // A chain: each row starts with the pointer to the next one (0 at the end).
  constexpr std::size_t kChunk = kMaxRowBytes - 4;
  std::size_t chunks = (data.size() + kChunk - 1) / kChunk;
  std::uint32_t next = 0;
  for (std::size_t k = chunks; k-- > 0;) {
    std::size_t begin = k * kChunk;
    std::size_t end = std::min(data.size(), begin + kChunk);
    Bytes row;
    row.reserve(end - begin + 4);
    Append32(row, next);
    row.insert(row.end(), data.begin() + static_cast<std::ptrdiff_t>(begin),
               data.begin() + static_cast<std::ptrdiff_t>(end));
    next = lval_.Add(row);
  }
  Append32(out, size);
  Append32(out, next);
  Append32(out, 0);
  return out;
}

// The stored bytes of one non-null, non-boolean value, checked against its
// column. Long values come back unplaced (raw bytes); EncodeRow places them.
Bytes Writer::EncodeValue(const ColumnLayout& c, const Value& v, const std::string& where) {
  auto fail = [&](const std::string& why) -> Jet4WriteError {
    return Jet4WriteError(where + ", column '" + c.def.name + "' (" + ColumnTypeName(c.def.type) +
                          "): " + why + ", got " + automation::Describe(v));
  };
  auto integer = [&](std::int64_t lo, std::int64_t hi) {
    if (v.kind() != Value::Kind::kInteger) throw fail("needs an integer");
    if (v.integer() < lo || v.integer() > hi) throw fail("out of range");
    return v.integer();
  };
  auto real = [&]() {
    if (v.kind() == Value::Kind::kDouble) return v.real();
    if (v.kind() == Value::Kind::kInteger) return static_cast<double>(v.integer());
    throw fail("needs a number");
  };
  Bytes b;
  switch (c.def.type) {
    case AccessType::kByte:
      b.push_back(static_cast<std::uint8_t>(integer(0, 255)));
      break;
    case AccessType::kInteger:
      Append16(b, static_cast<std::uint32_t>(integer(-32768, 32767)));
      break;
    case AccessType::kLong:
      Append32(b, static_cast<std::uint32_t>(integer(std::numeric_limits<std::int32_t>::min(),
                                                     std::numeric_limits<std::int32_t>::max())));
      break;
    case AccessType::kCurrency:
      if (v.kind() != Value::Kind::kCurrency) throw fail("needs a Currency value");
      Append64(b, static_cast<std::uint64_t>(v.currency().ten_thousandths));
      break;
    case AccessType::kSingle: {
      double d = real();
      if (std::isfinite(d) && std::fabs(d) > std::numeric_limits<float>::max())
        throw fail("out of range for a Single");
      AppendRaw(b, static_cast<float>(d));
      break;
    }
    case AccessType::kDouble:
      AppendRaw(b, real());
      break;
    case AccessType::kDateTime:
      if (v.kind() != Value::Kind::kDateTime) throw fail("needs a DateTime value");
      AppendRaw(b, v.datetime().serial);
      break;
    case AccessType::kGuid:
      if (v.kind() == Value::Kind::kBinary) {
        if (v.binary().size() != 16) throw fail("needs 16 bytes");
        b = v.binary();
      } else if (v.kind() == Value::Kind::kText) {
        const std::string& s = v.text();
        static constexpr int kGroups[] = {8, 4, 4, 4, 12};
        std::string hex;
        std::size_t pos = 0;
        bool ok = s.size() == 38 && s.front() == '{' && s.back() == '}';
        pos = 1;
        for (int g = 0; ok && g < 5; ++g) {
          for (int k = 0; k < kGroups[g]; ++k, ++pos) {
            if (!std::isxdigit(static_cast<unsigned char>(s[pos])))
              ok = false;
            else
              hex.push_back(s[pos]);
          }
          if (ok && g < 4 && s[pos++] != '-') ok = false;
        }
        if (!ok) throw fail("needs a GUID like {00000000-0000-0000-0000-000000000000}");
        std::uint8_t raw[16];
        for (int k = 0; k < 16; ++k)
          raw[k] = static_cast<std::uint8_t>(std::stoi(hex.substr(2 * k, 2), nullptr, 16));
        // Data1, Data2 and Data3 are little-endian in storage.
        static constexpr int kOrder[16] = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};
        for (int k = 0; k < 16; ++k) b.push_back(raw[kOrder[k]]);
      } else {
        throw fail("needs 16 bytes or GUID text");
      }
      break;
    case AccessType::kText:
    case AccessType::kMemo: {
      if (v.kind() != Value::Kind::kText) throw fail("needs text");
      auto u = Utf16(v.text());
      if (!u) throw fail("text is not valid UTF-8");
      if (c.def.type == AccessType::kText && u->size() > static_cast<std::size_t>(c.def.max_length))
        throw fail("longer than " + std::to_string(c.def.max_length) + " characters");
      bool compress = c.def.compressed && (c.def.type == AccessType::kText || u->size() <= 1024);
      b = EncodeText(*u, compress);
      break;
    }
    case AccessType::kOle:
    case AccessType::kBinary:
      if (v.kind() != Value::Kind::kBinary) throw fail("needs binary data");
      if (c.def.type == AccessType::kBinary &&
          v.binary().size() > static_cast<std::size_t>(c.def.max_length))
        throw fail("longer than " + std::to_string(c.def.max_length) + " bytes");
      b = v.binary();
      break;
    default:
      throw fail("cannot be written");
  }
  return b;
}

// Row layout: column count, fixed columns at their offsets, variable columns
// in definition order, end-of-data offset, the variable offsets (last first),
// the variable column count, and the null mask (booleans carry their value).
Bytes Writer::EncodeRow(const TableLayout& t, const std::vector<Value>& row,
                        const std::string& where) {
  if (row.size() != t.columns.size())
    throw Jet4WriteError(where + ": " + std::to_string(row.size()) + " values for " +
                         std::to_string(t.columns.size()) + " columns");
  std::size_t n = t.columns.size();
  std::vector<std::uint8_t> mask((n + 7) / 8, 0);
  if (n == 0) throw Jet4WriteError(where + ": the table has no columns");
  std::vector<Bytes> stored(n);
  std::vector<bool> present(n, false);
  for (std::size_t i = 0; i < n; ++i) {
    const ColumnLayout& c = t.columns[i];
    const Value& v = row[i];
    if (c.def.type == AccessType::kBoolean) {
      if (v.kind() != Value::Kind::kBoolean)
        throw Jet4WriteError(where + ", column '" + c.def.name +
                             "' (Boolean): needs True or False, got " + automation::Describe(v));
      if (v.boolean()) mask[i / 8] |= static_cast<std::uint8_t>(1u << (i % 8));
      continue;
    }
    if (v.is_null()) continue;
    stored[i] = EncodeValue(c, v, where);
    present[i] = true;
    mask[i / 8] |= static_cast<std::uint8_t>(1u << (i % 8));
  }

  auto assemble = [&](bool inline_longs) {
    Bytes r;
    Append16(r, static_cast<std::uint32_t>(n));
    r.resize(2 + static_cast<std::size_t>(t.fixed_bytes), 0);
    std::vector<std::uint32_t> offsets;
    offsets.reserve(static_cast<std::size_t>(t.var_count));
    for (std::size_t i = 0; i < n; ++i) {
      const ColumnLayout& c = t.columns[i];
      if (IsFixed(c.def.type)) {
        if (present[i])
          std::memcpy(r.data() + 2 + c.fixed_offset, stored[i].data(), stored[i].size());
        continue;
      }
      offsets.push_back(static_cast<std::uint32_t>(r.size()));
      if (!present[i]) continue;
      if (IsLong(c.def.type)) {
        bool small =
            stored[i].size() <= static_cast<std::size_t>(std::max(0, db_.inline_long_value_limit));
        Bytes lv = LongValue(stored[i], inline_longs && small);
        r.insert(r.end(), lv.begin(), lv.end());
      } else {
        r.insert(r.end(), stored[i].begin(), stored[i].end());
      }
    }
    if (t.var_count > 0) {  // a table without variable columns has no offset table
      Append16(r, static_cast<std::uint32_t>(r.size()));
      for (auto it = offsets.rbegin(); it != offsets.rend(); ++it) Append16(r, *it);
      Append16(r, static_cast<std::uint32_t>(t.var_count));
    }
    r.insert(r.end(), mask.begin(), mask.end());
    return r;
  };

  // Try with small long values inline; measure first so that no long-value
  // rows are written for a row that is then laid out again.
  bool any_long = false;
  std::size_t inline_size = 2 + static_cast<std::size_t>(t.fixed_bytes) + 2 +
                            2 * static_cast<std::size_t>(t.var_count) + 2 + mask.size();
  for (std::size_t i = 0; i < n; ++i) {
    if (!present[i] || IsFixed(t.columns[i].def.type)) continue;
    if (IsLong(t.columns[i].def.type)) {
      any_long = true;
      bool small =
          stored[i].size() <= static_cast<std::size_t>(std::max(0, db_.inline_long_value_limit));
      inline_size += kLongHeader + (small ? stored[i].size() : 0);
    } else {
      inline_size += stored[i].size();
    }
  }
  Bytes r = assemble(!any_long || inline_size <= kMaxRowBytes);
  if (r.size() > kMaxRowBytes)
    throw Jet4WriteError(where + ": the row needs " + std::to_string(r.size()) +
                         " bytes, more than a page holds (" + std::to_string(kMaxRowBytes) + ")");
  return r;
}

// A usage map row: type 0 (a start page and a 512-page bitmap) when the pages
// fit in one window, type 1 (pointers to bitmap pages) otherwise.
Bytes Writer::UsageMap(const std::vector<std::uint32_t>& pages) {
  Bytes m(kMapRowBytes, 0);
  if (pages.empty()) return m;
  std::uint32_t lo = *std::min_element(pages.begin(), pages.end());
  std::uint32_t hi = *std::max_element(pages.begin(), pages.end());
  if (hi - lo < (kMapRowBytes - 5) * 8) {
    Put32(&m[1], lo);
    for (std::uint32_t p : pages)
      m[5 + (p - lo) / 8] |= static_cast<std::uint8_t>(1u << ((p - lo) % 8));
    return m;
  }
  m[0] = 0x01;
  std::size_t needed = hi / kMapBitsPerPage + 1;
  if (needed > (kMapRowBytes - 1) / 4) throw Jet4WriteError("the database is too large");
  std::vector<std::uint32_t> bitmap_pages(needed, 0);
  for (std::uint32_t p : pages) {
    std::size_t k = p / kMapBitsPerPage;
    if (bitmap_pages[k] == 0) {
      bitmap_pages[k] = file_.Allocate();
      std::uint8_t* bp = file_[bitmap_pages[k]];
      bp[0] = 0x05;
      bp[1] = 0x01;
      Put32(&m[1 + 4 * k], bitmap_pages[k]);
    }
    std::size_t bit = p % kMapBitsPerPage;
    file_[bitmap_pages[k]][4 + bit / 8] |= static_cast<std::uint8_t>(1u << (bit % 8));
  }
  return m;
}

// A table definition as one stream; pages after the first repeat an 8-byte
// header and carry the stream on.
Bytes Writer::TableDefinition(const PendingTable& t, std::uint32_t rows, std::uint32_t used_map,
                              std::uint32_t free_map) {
  const TableLayout& l = t.layout;
  Bytes b(63, 0);
  b[0] = 0x02;
  b[1] = 0x01;
  Put32(&b[16], rows);
  b[24] = 0x01;
  b[40] = l.system ? 0x53 : 0x4E;
  auto ncols = static_cast<std::uint32_t>(l.columns.size());
  Put16(&b[41], ncols);
  Put16(&b[43], static_cast<std::uint32_t>(l.var_count));
  Put16(&b[45], ncols);
  Put32(&b[47], 0);  // logical indexes
  Put32(&b[51], 0);  // physical indexes
  Put32(&b[55], used_map);
  Put32(&b[59], free_map);
  for (const ColumnLayout& c : l.columns) {
    std::uint8_t d[25] = {};
    d[0] = static_cast<std::uint8_t>(c.def.type);
    Put16(d + 5, static_cast<std::uint32_t>(c.number));
    Put16(d + 7, static_cast<std::uint32_t>(c.var_index));
    Put16(d + 9, static_cast<std::uint32_t>(c.number));
    bool textual = c.def.type == AccessType::kText || c.def.type == AccessType::kMemo;
    if (textual) Put16(d + 11, 0x0409);         // General sort order
    d[15] = IsFixed(c.def.type) ? 0x03 : 0x02;  // fixed length, may be null
    d[16] = textual && c.def.compressed ? 0x01 : 0x00;
    Put16(d + 21, static_cast<std::uint32_t>(c.fixed_offset));
    Put16(d + 23, static_cast<std::uint32_t>(c.length));
    b.insert(b.end(), d, d + 25);
  }
  for (const ColumnLayout& c : l.columns) {
    Append16(b, static_cast<std::uint32_t>(c.name.size() * 2));
    for (char16_t ch : c.name) Append16(b, ch);
  }
  Append16(b, 0xFFFF);  // no per-column long-value maps follow
  Put32(&b[8], static_cast<std::uint32_t>(b.size() - 8));
  return b;
}

std::size_t Writer::DefinitionPages(std::size_t blob_size) {
  if (blob_size <= kPageSize) return 1;
  return 1 + (blob_size - kPageSize + (kPageSize - 8) - 1) / (kPageSize - 8);
}

void Writer::PlaceDefinition(const Bytes& blob, const std::vector<std::uint32_t>& pages) {
  std::size_t pos = 0;
  for (std::size_t k = 0; k < pages.size(); ++k) {
    std::uint8_t* p = file_[pages[k]];
    std::size_t start = k == 0 ? 0 : 8;
    std::size_t n = std::min(kPageSize - start, blob.size() - pos);
    std::memcpy(p + start, blob.data() + pos, n);
    pos += n;
    p[0] = 0x02;
    p[1] = 0x01;
    Put16(p + 2, static_cast<std::uint32_t>(kPageSize - start - n));
    Put32(p + 4, k + 1 < pages.size() ? pages[k + 1] : 0);
  }
}

// Page 0: the signature, the version byte (1: JET4) and the header fields,
// masked from 0x18 with the RC4 stream of key 0x6B39DAC7 as Jet expects.
void Writer::WriteHeader() {
  std::uint8_t* p = file_[0];
  p[0] = 0x00;
  p[1] = 0x01;
  std::memcpy(p + 4, "Standard Jet DB", 15);
  p[0x14] = 0x01;
  Put16(p + 0x3C, 1252);    // code page (JET3 text only)
  Put32(p + 0x3E, 0);       // no page encryption
  Put16(p + 0x6E, 0x0409);  // General sort order
  // The password area stays zero and the creation date 0: no password.
  std::array<std::uint8_t, 256> s{};
  for (int i = 0; i < 256; ++i) s[i] = static_cast<std::uint8_t>(i);
  const std::uint8_t key[4] = {0xC7, 0xDA, 0x39, 0x6B};
  for (int i = 0, j = 0; i < 256; ++i) {
    j = (j + s[i] + key[i % 4]) & 0xFF;
    std::swap(s[i], s[j]);
  }
  for (int k = 0, i = 0, j = 0; k < 128; ++k) {
    i = (i + 1) & 0xFF;
    j = (j + s[i]) & 0xFF;
    std::swap(s[i], s[j]);
    p[0x18 + k] ^= s[(s[i] + s[j]) & 0xFF];
  }
}

// Tables, linked tables and queries share one namespace with the catalogue.
void Writer::CheckNames() {
  std::vector<std::string> names = {"MSysObjects", "MSysACEs", "MSysQueries", "MSysRelationships"};
  auto claim = [&](const std::string& name, const std::string& what) {
    CheckedName(name, what);
    for (const std::string& n : names)
      if (SameName(n, name))
        throw Jet4WriteError(what + " '" + name + "': the name is already used");
    names.push_back(name);
  };
  for (const Jet4Table& t : db_.tables) claim(t.name, "table");
  for (const Jet4LinkedTable& l : db_.linked_tables) claim(l.name, "linked table");
  for (const SavedQuery& q : db_.queries) claim(q.name, "query");
}

// The catalogue tables first (MSysObjects, MSysACEs, MSysQueries,
// MSysRelationships, in that order), then the user tables.
std::vector<Writer::PendingTable> Writer::DescribeTables() {
  std::vector<PendingTable> tables;
  auto system_table = [&](const std::string& name, std::vector<Jet4Column> cols) {
    PendingTable p;
    p.layout = Layout(name, cols, true);
    p.flags = kSystemObjectFlags;
    tables.push_back(std::move(p));
  };
  using T = AccessType;
  system_table("MSysObjects", {{"Id", T::kLong},
                               {"ParentId", T::kLong},
                               {"Name", T::kText},
                               {"Type", T::kInteger},
                               {"DateCreate", T::kDateTime},
                               {"DateUpdate", T::kDateTime},
                               {"Owner", T::kBinary},
                               {"Flags", T::kLong},
                               {"Database", T::kMemo},
                               {"Connect", T::kMemo},
                               {"ForeignName", T::kText},
                               {"RmtInfoShort", T::kBinary},
                               {"RmtInfoLong", T::kOle},
                               {"Lv", T::kOle},
                               {"LvProp", T::kOle},
                               {"LvModule", T::kOle},
                               {"LvExtra", T::kOle}});
  system_table("MSysACEs", {{"ObjectId", T::kLong},
                            {"SID", T::kBinary},
                            {"ACM", T::kLong},
                            {"FInheritable", T::kBoolean}});
  system_table("MSysQueries", {{"ObjectId", T::kLong},
                               {"Attribute", T::kByte},
                               {"Order", T::kBinary},
                               {"Name1", T::kText},
                               {"Name2", T::kText},
                               {"Expression", T::kMemo},
                               {"Flag", T::kInteger},
                               {"LvExtra", T::kLong}});
  system_table("MSysRelationships", {{"szRelationship", T::kText},
                                     {"grbit", T::kLong},
                                     {"ccolumn", T::kLong},
                                     {"icolumn", T::kLong},
                                     {"szObject", T::kText},
                                     {"szColumn", T::kText},
                                     {"szReferencedObject", T::kText},
                                     {"szReferencedColumn", T::kText}});
  for (const Jet4Table& t : db_.tables) {
    PendingTable p;
    p.layout = Layout(t.name, t.columns, false);
    p.flags = t.flags.value_or(0);
    p.rows = &t.rows;
    p.state.assign(t.rows.size(), kLive);
    auto mark = [&](const std::vector<std::size_t>& which, std::uint8_t state, const char* what) {
      for (std::size_t d : which) {
        if (d >= t.rows.size())
          throw Jet4WriteError("table '" + t.name + "': " + what + " row " + std::to_string(d) +
                               " is beyond its " + std::to_string(t.rows.size()) + " rows");
        if (p.state[d] != kLive)
          throw Jet4WriteError("table '" + t.name + "': row " + std::to_string(d) +
                               " is listed twice among deleted and moved rows");
        p.state[d] = state;
      }
    };
    mark(t.deleted_rows, kDeleted, "deleted");
    mark(t.moved_rows, kMoved, "moved");
    tables.push_back(std::move(p));
  }
  return tables;
}

// Rows of MSysObjects (tables[0]) and MSysQueries (tables[2]); the tables
// already have their definition pages, which are their Ids.
void Writer::FillCatalogue(std::vector<PendingTable>& tables) {
  std::vector<std::vector<Value>>& objects = tables[0].own_rows;
  auto object = [&](std::int32_t id, std::int32_t parent, const std::string& name, int type,
                    std::int32_t flags) -> std::vector<Value>& {
    std::vector<Value> r(17);
    r[0] = Value(static_cast<std::int64_t>(id));
    r[1] = Value(static_cast<std::int64_t>(parent));
    r[2] = Value(name);
    r[3] = Value(type);
    r[4] = Value(automation::DateTime{kCatalogueDate});
    r[5] = Value(automation::DateTime{kCatalogueDate});
    r[7] = Value(static_cast<std::int64_t>(flags));
    objects.push_back(std::move(r));
    return objects.back();
  };
  object(kTablesContainerId, kRootContainerId, "Tables", 3, kSystemObjectFlags);
  object(kTablesContainerId + 1, kRootContainerId, "Databases", 3, kSystemObjectFlags);
  object(kTablesContainerId + 2, kRootContainerId, "Relationships", 3, kSystemObjectFlags);
  for (const PendingTable& p : tables)
    object(static_cast<std::int32_t>(p.tdef_page), kTablesContainerId, p.layout.name, 1, p.flags);
  // Objects without a definition page get Ids of their own, as Access gives
  // queries.
  auto next_id = static_cast<std::int32_t>(0x80000100u);
  for (const Jet4LinkedTable& l : db_.linked_tables) {
    std::vector<Value>& r = object(next_id++, kTablesContainerId, l.name,
                                   l.type != 0 ? l.type : (l.connect.empty() ? 6 : 4), l.flags);
    if (!l.database.empty()) r[8] = Value(l.database);
    if (!l.connect.empty()) r[9] = Value(l.connect);
    if (!l.foreign_name.empty()) r[10] = Value(l.foreign_name);
  }
  std::vector<std::vector<Value>>& query_rows = tables[2].own_rows;
  for (std::size_t qi = 0; qi < db_.queries.size(); ++qi) {
    const SavedQuery& q = db_.queries[qi];
    std::int32_t id = next_id++;
    object(id, kTablesContainerId, q.name, 5, q.flags);
    for (const QueryDefRow& d : q.rows) {
      if (d.attribute < 0 || d.attribute > 255)
        throw Jet4WriteError("query '" + q.name + "': attribute " + std::to_string(d.attribute) +
                             " is outside 0..255");
      if (d.flag < -32768 || d.flag > 32767)
        throw Jet4WriteError("query '" + q.name + "': flag " + std::to_string(d.flag) +
                             " does not fit an Integer");
      std::vector<Value> r(8);
      r[0] = Value(static_cast<std::int64_t>(id));
      r[1] = Value(d.attribute);
      if (d.order != 0) {
        auto o = static_cast<std::uint32_t>(d.order);
        r[2] = Value(automation::Binary{
            static_cast<std::uint8_t>(o >> 24), static_cast<std::uint8_t>(o >> 16),
            static_cast<std::uint8_t>(o >> 8), static_cast<std::uint8_t>(o)});
      }
      if (!d.name1.empty()) r[3] = Value(d.name1);
      if (!d.name2.empty()) r[4] = Value(d.name2);
      if (!d.expression.empty()) r[5] = Value(d.expression);
      r[6] = Value(d.flag);
      query_rows.push_back(std::move(r));
    }
  }
}

// Rows, then the usage maps, then the definition that points at both.
void Writer::WriteTable(const PendingTable& p) {
  RowPages data(file_, p.tdef_page, false);
  RowPages moved(file_, p.tdef_page, false);
  std::vector<std::pair<std::uint32_t, Bytes>> moved_out;
  std::size_t index = 0;
  std::uint32_t live = 0;
  for (const std::vector<Value>& row : p.Rows()) {
    std::uint8_t state = index < p.state.size() ? p.state[index] : std::uint8_t{kLive};
    ++index;
    Bytes bytes =
        EncodeRow(p.layout, row, "table '" + p.layout.name + "', row " + std::to_string(index));
    if (state == kMoved) {
      // The data goes after the table's pages, as when a row outgrows
      // its page; the pointer is filled in below.
      std::uint32_t home = data.Add(Bytes(4, 0), kMovedHome);
      moved_out.emplace_back(home, std::move(bytes));
    } else {
      data.Add(bytes, state == kDeleted ? kDeletedRow : 0u);
    }
    live += state == kDeleted ? 0 : 1;
  }
  for (auto& [home, bytes] : moved_out) {
    std::uint8_t* page = file_[home >> 8];
    std::uint32_t slot = page[kDataHeaderSize + 2 * (home & 0xFF)] |
                         (page[kDataHeaderSize + 2 * (home & 0xFF) + 1] << 8);
    Put32(page + (slot & 0x1FFF), moved.Add(bytes, kMovedTarget));
  }
  std::vector<std::uint32_t> pages = data.PageNumbers();
  for (std::uint32_t m : moved.PageNumbers()) pages.push_back(m);
  Bytes used = UsageMap(pages);
  std::uint32_t used_ptr = maps_.Add(used);
  std::uint32_t free_ptr = maps_.Add(used);
  PlaceDefinition(TableDefinition(p, live, used_ptr, free_ptr), p.tdef_pages);
}

Bytes Writer::Build() {
  CheckNames();
  file_.Allocate();               // 0: header
  maps_.Adopt(file_.Allocate());  // 1: usage maps, so that MSysObjects is at 2
  std::vector<PendingTable> tables = DescribeTables();
  for (PendingTable& p : tables) {
    std::size_t n = DefinitionPages(TableDefinition(p, 0, 0, 0).size());
    for (std::size_t k = 0; k < n; ++k) p.tdef_pages.push_back(file_.Allocate());
    p.tdef_page = p.tdef_pages.front();
  }
  FillCatalogue(tables);
  for (const PendingTable& p : tables) WriteTable(p);
  WriteHeader();
  return file_.Serialize();
}

}  // namespace

std::vector<std::uint8_t> BuildJet4Database(const Jet4Database& db) { return Writer(db).Build(); }

Jet4LinkedTable AccessLink(std::string name, std::string foreign_name, std::string database) {
  return {std::move(name), std::move(foreign_name), std::move(database), "", kAccessLinkFlags, 6};
}

Jet4LinkedTable OdbcLink(std::string name, std::string foreign_name, std::string connect) {
  return {std::move(name), std::move(foreign_name), "", std::move(connect), kOdbcLinkFlags, 4};
}

Jet4LinkedTable FileLink(std::string name, std::string foreign_name, std::string database,
                         std::string connect) {
  return {std::move(name),    std::move(foreign_name), std::move(database),
          std::move(connect), kAccessLinkFlags,        6};
}

void WriteJet4Database(const Jet4Database& db, const std::filesystem::path& path) {
  Bytes bytes = BuildJet4Database(db);
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out) throw Jet4WriteError("cannot create " + path.string());
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (!out) throw Jet4WriteError("cannot write " + path.string());
}

}  // namespace kestrin::testsupport
