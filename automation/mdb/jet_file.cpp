#include "automation/mdb/jet_file.h"

// glib must come before mdbtools.h, which includes it inside extern "C".
#include <glib.h>
#include <mdbtools.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <set>
#include <utility>

#include "automation/failure.h"
#include "automation/mdb/jet_text.h"
#include "automation/mdb/query/access_errors.h"
#include "automation/mdb/query/access_functions.h"
#include "automation/mdb/query/access_names.h"

namespace kestrin::automation::mdb::jet {
namespace {

constexpr int kPageData = 0x01;
constexpr int kPageTableDef = 0x02;
constexpr int kPageUsageMap = 0x05;
constexpr int kRowDeleted = 0x8000;
constexpr int kRowOverflow = 0x4000;
constexpr int kRowOffsetMask = 0x1FFF;
// Access allows 255 fields per table (deleted ones included until the next
// compaction); libmdb's limit is 256. Column numbers above 2047 would make
// mdb_crack_row read a null-mask byte beyond its two page buffers.
constexpr int kMaxColumns = 256;
constexpr int kMaxColumnNumber = 2047;
// A table definition spans a few pages at most (255 columns, 32 indexes).
constexpr std::size_t kMaxDefinitionPages = 64;
// Overflow pointers: Access moves a row once; allow a few hops.
constexpr int kMaxOverflowHops = 8;

std::uint16_t Le16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }
std::uint32_t Le32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
std::uint64_t Le64(const std::uint8_t* p) {
  return static_cast<std::uint64_t>(Le32(p)) | (static_cast<std::uint64_t>(Le32(p + 4)) << 32);
}

MdbHandle* H(void* h) { return static_cast<MdbHandle*>(h); }

[[noreturn]] void Unrecognized(const std::string& path) {
  throw AutomationError(err::kUnrecognizedFormat, "Unrecognized database format '" + path + "'.");
}

// Bounds-checked reads from a table definition assembled from its pages.
class DefReader {
 public:
  DefReader(const std::vector<std::uint8_t>& buf, const JetFile& file, const std::string& table)
      : buf_(buf), file_(file), table_(table) {}
  const std::uint8_t* At(std::size_t pos, std::size_t len) const {
    if (pos > buf_.size() || len > buf_.size() - pos) {
      file_.Damaged("the definition of table '" + table_ + "' is truncated");
    }
    return buf_.data() + pos;
  }
  std::uint8_t U8(std::size_t pos) const { return *At(pos, 1); }
  std::uint16_t U16(std::size_t pos) const { return Le16(At(pos, 2)); }
  std::uint32_t U32(std::size_t pos) const { return Le32(At(pos, 4)); }

 private:
  const std::vector<std::uint8_t>& buf_;
  const JetFile& file_;
  const std::string& table_;
};

// Bytes a fixed-length value of each type needs; 0 for variable types.
int FixedSizeOf(int type) {
  switch (type) {
    case MDB_BYTE:
      return 1;
    case MDB_INT:
      return 2;
    case MDB_LONGINT:
      return 4;
    case MDB_MONEY:
      return 8;
    case MDB_FLOAT:
      return 4;
    case MDB_DOUBLE:
      return 8;
    case MDB_DATETIME:
      return 8;
    case MDB_REPID:
      return 16;
    case MDB_NUMERIC:
      return 17;
    case kTypeBigInt:
      return 8;
    case kTypeExtDateTime:
      return 42;
    default:
      return 0;
  }
}

bool ReadableType(int type) {
  switch (type) {
    case MDB_BOOL:
    case MDB_BYTE:
    case MDB_INT:
    case MDB_LONGINT:
    case MDB_MONEY:
    case MDB_FLOAT:
    case MDB_DOUBLE:
    case MDB_DATETIME:
    case MDB_BINARY:
    case MDB_TEXT:
    case MDB_OLE:
    case MDB_MEMO:
    case MDB_REPID:
    case MDB_NUMERIC:
    case kTypeBigInt:
    case kTypeExtDateTime:
    case kTypeBinaryBlock:
      return true;
    default:  // complex (attachment, multi-value, version history) and unknown codes
      return false;
  }
}

// "Date/Time Extended" values are ASCII text "<days>:<ticks>:<precision>":
// days since 0001-01-01 and 100-nanosecond ticks into the day. Returns the
// serial day number (days from 1899-12-30, the time of day as the absolute
// fraction), or false when the text is not of that form.
bool ExtendedDateSerial(const std::uint8_t* data, int size, double* serial) {
  std::uint64_t part[2] = {0, 0};
  int field = 0, digits = 0;
  for (int i = 0; i < size && field < 2; ++i) {
    const char c = static_cast<char>(data[i]);
    if (c >= '0' && c <= '9') {
      if (++digits > 19) return false;
      part[field] = part[field] * 10 + static_cast<std::uint64_t>(c - '0');
    } else if (c == ':' && digits > 0) {
      ++field;
      digits = 0;
    } else {
      return false;
    }
  }
  constexpr std::uint64_t kTicksPerDay = 864000000000ull;
  constexpr std::int64_t kDaysTo1899_12_30 = 693593;
  if (field < 2 || part[0] > 3652058 || part[1] >= kTicksPerDay) return false;
  const double day = static_cast<double>(static_cast<std::int64_t>(part[0]) - kDaysTo1899_12_30);
  const double fraction = static_cast<double>(part[1]) / static_cast<double>(kTicksPerDay);
  *serial = day < 0 ? day - fraction : day + fraction;
  return true;
}

}  // namespace

// --- JetFile ----------------------------------------------------------------

void JetFile::Damaged(const std::string& what) const {
  throw AutomationError(err::kDamaged, "Cannot open database '" + path_ +
                                           "'. It may not be a database that your application "
                                           "recognizes, or the file may be corrupt (" +
                                           what + ").");
}

std::unique_ptr<JetFile> JetFile::Open(const std::string& path) {
  struct stat st {};
  if (path.empty() || ::stat(path.c_str(), &st) != 0) {
    throw AutomationError(err::kFileNotFound, "Could not find file '" + path + "'.");
  }
  if (!S_ISREG(st.st_mode)) Unrecognized(path);

  // Check the header before libmdb reads it: signature, version, and enough
  // pages for the catalogue (page 2).
  std::uint8_t head[0x20] = {};
  {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) {
      throw AutomationError(err::kFileNotFound, "Could not open file '" + path + "'.");
    }
    const std::size_t got = std::fread(head, 1, sizeof head, f);
    std::fclose(f);
    if (got != sizeof head) Unrecognized(path);
  }
  static const std::uint8_t kMagic[4] = {0x00, 0x01, 0x00, 0x00};
  const bool jet = std::memcmp(head + 4, "Standard Jet DB", 15) == 0;
  const bool ace = std::memcmp(head + 4, "Standard ACE DB", 15) == 0;
  const int version = head[0x14];
  if (std::memcmp(head, kMagic, 4) != 0 || !(jet || ace) || version > MDB_VER_ACCDB_2019) {
    Unrecognized(path);
  }
  const std::uint32_t page_size = version == MDB_VER_JET3 ? 2048 : 4096;
  if (static_cast<std::uint64_t>(st.st_size) < 3ull * page_size) Unrecognized(path);

  std::unique_ptr<JetFile> file(new JetFile());
  file->path_ = path;
  MdbHandle* mdb = mdb_open(path.c_str(), MDB_NOFLAGS);
  if (mdb == nullptr) Unrecognized(path);
  file->mdb_ = mdb;
  if (mdb->fmt->pg_size != static_cast<ssize_t>(page_size) ||
      static_cast<int>(mdb->f->jet_version) != version) {
    Unrecognized(path);
  }
  file->jet3_ = version == MDB_VER_JET3;
  file->page_size_ = page_size;
  file->page_count_ = static_cast<std::uint32_t>(
      (static_cast<std::uint64_t>(st.st_size) + page_size - 1) / page_size);
  file->row_count_offset_ = mdb->fmt->row_count_offset;
  file->scratch_.resize(page_size);
  file->ReadCatalog();
  return file;
}

JetFile::~JetFile() {
  if (mdb_ != nullptr) mdb_close(H(mdb_));
}

const std::uint8_t* JetFile::LoadPage(std::uint32_t pg) {
  MdbHandle* mdb = H(mdb_);
  if (pg == 0 || pg >= page_count_) Damaged("page " + std::to_string(pg) + " is outside the file");
  if (mdb_read_pg(mdb, pg) != static_cast<ssize_t>(page_size_)) {
    mdb->cur_pg = 0;  // libmdb caches the page number even when the read failed
    Damaged("page " + std::to_string(pg) + " cannot be read");
  }
  return mdb->pg_buf;
}

void JetFile::CopyPage(std::uint32_t pg, std::vector<std::uint8_t>& out) {
  MdbHandle* mdb = H(mdb_);
  if (pg == 0 || pg >= page_count_) Damaged("page " + std::to_string(pg) + " is outside the file");
  if (mdb_read_alt_pg(mdb, pg) != static_cast<ssize_t>(page_size_)) {
    Damaged("page " + std::to_string(pg) + " cannot be read");
  }
  out.assign(mdb->alt_pg_buf, mdb->alt_pg_buf + page_size_);
}

bool JetFile::FindRow(const std::uint8_t* page, int row, int* start, int* size, int* flags) const {
  const int rco = row_count_offset_;
  const int rows = Le16(page + rco);
  const int table_end = rco + 2 + 2 * rows;
  if (row < 0 || row >= rows || table_end > static_cast<int>(page_size_)) return false;
  const int raw = Le16(page + rco + 2 + 2 * row);
  const int begin = raw & kRowOffsetMask;
  const int end =
      row == 0 ? static_cast<int>(page_size_) : (Le16(page + rco + 2 * row) & kRowOffsetMask);
  *flags = raw & (kRowDeleted | kRowOverflow);
  if (begin < table_end || begin >= end || end > static_cast<int>(page_size_)) return false;
  *start = begin;
  *size = end - begin;
  return true;
}

std::string JetFile::Jet3Text(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return std::string();
  std::vector<char> dest(size * 4 + 8);
  errno = 0;  // libmdb stops converting when errno happens to say E2BIG
  const int n = mdb_unicode2ascii(H(mdb_), reinterpret_cast<const char*>(data), size, dest.data(),
                                  dest.size());
  return std::string(dest.data(), n > 0 ? static_cast<std::size_t>(n) : 0);
}

std::string JetFile::Text(const std::uint8_t* data, std::size_t size) {
  return jet3_ ? Jet3Text(data, size) : DecodeJet4Text(data, size);
}

std::vector<std::uint8_t> JetFile::ReadLongValue(const std::uint8_t* def, std::size_t size,
                                                 const std::string& where) {
  if (size < 12) Damaged("the long value of " + where + " is truncated");
  const std::uint32_t len_flags = Le32(def);
  const std::uint32_t len = len_flags & 0x3FFFFFFFu;
  const std::uint32_t kind = (len_flags >> 24) & 0xC0u;
  std::vector<std::uint8_t> out;
  if (kind == 0x80) {  // stored in the row after the 12-byte header
    const std::size_t n = std::min<std::size_t>(len, size - 12);
    out.assign(def + 12, def + 12 + n);
    return out;
  }
  if (static_cast<std::uint64_t>(len) > static_cast<std::uint64_t>(page_count_) * page_size_) {
    Damaged("the long value of " + where + " is longer than the file");
  }
  std::uint32_t ptr = Le32(def + 4);
  std::vector<std::uint8_t>& page = scratch_;
  if (kind == 0x40) {  // one row of a long-value page
    CopyPage(ptr >> 8, page);
    int start = 0, rsize = 0, flags = 0;
    if (page[0] != kPageData ||
        !FindRow(page.data(), static_cast<int>(ptr & 0xFF), &start, &rsize, &flags)) {
      Damaged("the long value of " + where + " points to a missing row");
    }
    const std::size_t n = std::min<std::size_t>(len, static_cast<std::size_t>(rsize));
    out.assign(page.data() + start, page.data() + start + n);
    return out;
  }
  if (kind != 0) Damaged("the long value of " + where + " has an unknown form");
  // A chain of rows: each starts with the pointer to the next.
  out.reserve(std::min<std::size_t>(len, 1u << 20));
  std::set<std::uint32_t> seen;
  std::uint32_t loaded = 0;
  std::size_t remaining = len;
  while (remaining > 0) {
    if (ptr == 0 || !seen.insert(ptr).second) {
      Damaged("the long value chain of " + where + " is broken");
    }
    if ((ptr >> 8) != loaded) {
      CopyPage(ptr >> 8, page);
      loaded = ptr >> 8;
    }
    int start = 0, rsize = 0, flags = 0;
    if (page[0] != kPageData ||
        !FindRow(page.data(), static_cast<int>(ptr & 0xFF), &start, &rsize, &flags) || rsize <= 4) {
      Damaged("the long value chain of " + where + " points to a missing row");
    }
    const std::size_t n = std::min<std::size_t>(remaining, static_cast<std::size_t>(rsize - 4));
    out.insert(out.end(), page.data() + start + 4, page.data() + start + 4 + n);
    remaining -= n;
    ptr = Le32(page.data() + start);
  }
  return out;
}

std::vector<std::uint32_t> JetFile::UsageMapPages(std::uint32_t pg_row, std::uint32_t owner,
                                                  const std::string& table) {
  std::vector<std::uint32_t> pages;
  bool ok = false;
  const std::uint32_t map_page = pg_row >> 8;
  if (map_page != 0 && map_page < page_count_) {
    std::vector<std::uint8_t> page;
    CopyPage(map_page, page);
    int start = 0, size = 0, flags = 0;
    if (FindRow(page.data(), static_cast<int>(pg_row & 0xFF), &start, &size, &flags)) {
      const std::uint8_t* map = page.data() + start;
      if (map[0] == 0 && size >= 5) {  // a bitmap in the row, from a start page
        const std::uint64_t first = Le32(map + 1);
        for (int i = 0; i < (size - 5) * 8; ++i) {
          if (map[5 + i / 8] & (1 << (i % 8))) {
            const std::uint64_t pg = first + static_cast<std::uint64_t>(i);
            if (pg > 0 && pg < page_count_) pages.push_back(static_cast<std::uint32_t>(pg));
          }
        }
        ok = true;
      } else if (map[0] == 1) {  // pointers to bitmap pages
        ok = true;
        const std::uint64_t bits = static_cast<std::uint64_t>(page_size_ - 4) * 8;
        std::vector<std::uint8_t> bitmap;
        for (int j = 0; j < (size - 1) / 4 && ok; ++j) {
          const std::uint32_t bpg = Le32(map + 1 + 4 * j);
          if (bpg == 0) continue;
          if (bpg >= page_count_) {
            ok = false;
            break;
          }
          CopyPage(bpg, bitmap);
          if (bitmap[0] != kPageUsageMap) {
            ok = false;
            break;
          }
          for (std::uint64_t i = 0; i < bits; ++i) {
            if (bitmap[4 + i / 8] & (1 << (i % 8))) {
              const std::uint64_t pg = static_cast<std::uint64_t>(j) * bits + i;
              if (pg > 0 && pg < page_count_) pages.push_back(static_cast<std::uint32_t>(pg));
            }
          }
        }
      }
    }
  }
  if (!ok) {
    // As libmdb does for a map it cannot read: every data page of the table.
    pages.clear();
    std::vector<std::uint8_t> page;
    for (std::uint32_t pg = 1; pg < page_count_; ++pg) {
      CopyPage(pg, page);
      if (page[0] == kPageData && Le32(page.data() + 4) == owner) pages.push_back(pg);
    }
  }
  (void)table;
  std::sort(pages.begin(), pages.end());
  pages.erase(std::unique(pages.begin(), pages.end()), pages.end());
  return pages;
}

std::shared_ptr<const TableDef> JetFile::ReadTableDef(const std::string& name,
                                                      std::uint32_t first) {
  if (first == 0 || first >= page_count_) {
    Damaged("the definition of table '" + name + "' is outside the file");
  }
  // The definition continues on further pages (each after its 8-byte header).
  std::vector<std::uint8_t> buf;
  std::vector<std::uint8_t> page;
  std::set<std::uint32_t> seen;
  for (std::uint32_t pg = first; pg != 0;) {
    if (pg >= page_count_ || !seen.insert(pg).second || seen.size() > kMaxDefinitionPages) {
      Damaged("the definition of table '" + name + "' has a broken page chain");
    }
    CopyPage(pg, page);
    if (page[0] != kPageTableDef) {
      Damaged("page " + std::to_string(pg) + " of table '" + name + "' is not a table definition");
    }
    if (buf.empty()) {
      buf = page;
    } else {
      buf.insert(buf.end(), page.begin() + 8, page.end());
    }
    pg = Le32(page.data() + 4);
  }

  const MdbFormatConstants* fmt = H(mdb_)->fmt;
  DefReader r(buf, *this, name);
  auto def = std::make_shared<TableDef>();
  def->name = name;
  def->page = first;
  const int var_cols = r.U16(fmt->tab_num_cols_offset - 2);
  const int num_cols = r.U16(fmt->tab_num_cols_offset);
  const std::uint32_t num_real_idx = r.U32(fmt->tab_num_ridxs_offset);
  const std::uint32_t usage_map = r.U32(fmt->tab_usage_map_offset);
  if (num_cols > kMaxColumns || var_cols > num_cols || num_real_idx > buf.size()) {
    Damaged("the definition of table '" + name + "' has impossible counts");
  }
  def->var_columns = var_cols;

  std::size_t pos = fmt->tab_cols_start_offset +
                    static_cast<std::size_t>(num_real_idx) * fmt->tab_ridx_entry_size;
  const std::size_t entry = fmt->tab_col_entry_size;
  def->columns.resize(static_cast<std::size_t>(num_cols));
  for (Column& col : def->columns) {
    const std::uint8_t* e = r.At(pos, entry);
    col.type = e[0];
    col.col_num = Le16(e + fmt->col_num_offset);
    col.var_index = Le16(e + fmt->tab_col_offset_var);
    const std::uint8_t flags = e[fmt->col_flags_offset];
    col.fixed = (flags & 0x01) != 0;
    col.fixed_offset = Le16(e + fmt->tab_col_offset_fixed);
    col.size = col.type == MDB_BOOL ? 0 : Le16(e + fmt->col_size_offset);
    // Decimal precision and scale: JET3 bytes 9 and 10, JET4 bytes 11 and 12.
    col.precision = e[jet3_ ? 9 : 11];
    col.scale = e[jet3_ ? 10 : 12];
    if (!jet3_) col.calculated = (e[fmt->col_flags_offset + 1] & 0xC0) != 0;
    col.value_type = col.type;
    col.readable = ReadableType(col.type) && !col.calculated;  // see below for calculated ones
    if (col.col_num > kMaxColumnNumber) {
      Damaged("the definition of table '" + name + "' has an impossible column number");
    }
    const int need = FixedSizeOf(col.type);
    if (col.fixed && need > 0 && col.size < need && col.readable) {
      Damaged("column " + std::to_string(col.col_num) + " of table '" + name +
              "' is too short for its type");
    }
    pos += entry;
  }
  for (Column& col : def->columns) {
    std::size_t len = jet3_ ? r.U8(pos) : r.U16(pos);
    pos += jet3_ ? 1 : 2;
    col.name = Text(r.At(pos, len), len);
    pos += len;
  }
  std::stable_sort(def->columns.begin(), def->columns.end(),
                   [](const Column& a, const Column& b) { return a.col_num < b.col_num; });
  if (std::any_of(def->columns.begin(), def->columns.end(),
                  [](const Column& c) { return c.calculated; })) {
    // The type code of a calculated field can differ from the type its values
    // are stored as (Jackcess reads the result type the same way).
    const auto result_types = CalculatedResultTypes(first);
    for (Column& col : def->columns) {
      for (const auto& [column, type] : result_types) {
        if (col.calculated && column == col.name) {
          col.value_type = type;
          col.readable = ReadableType(type) && type != kTypeBinaryBlock;
        }
      }
    }
  }
  def->data_pages = UsageMapPages(usage_map, first, name);
  return def;
}

namespace {

// The "ResultType" properties of a property blob ("MR2\0", then blocks:
// 4-byte length, 2-byte kind; kind 0x80 lists property names, kinds 0 and 1
// hold the properties of the table and of each column by name).
std::vector<std::pair<std::string, int>> ParseResultTypes(const std::vector<std::uint8_t>& blob) {
  std::vector<std::pair<std::string, int>> found;
  std::vector<std::string> names;
  const std::size_t size = blob.size();
  if (size < 4 || std::memcmp(blob.data(), "MR2", 4) != 0) return found;
  std::size_t pos = 4;
  while (pos + 6 <= size) {
    const std::size_t len = Le32(blob.data() + pos);
    const int kind = Le16(blob.data() + pos + 4);
    if (len < 6 || len > size - pos) break;
    const std::size_t end = pos + len;
    std::size_t p = pos + 6;
    if (kind == 0x80) {
      while (p + 2 <= end) {
        const std::size_t n = Le16(blob.data() + p);
        if (n > end - p - 2) break;
        names.push_back(DecodeJet4Text(blob.data() + p + 2, n));
        p += 2 + n;
      }
    } else if ((kind == 0 || kind == 1) && p + 4 <= end) {
      // The name of the object the properties belong to, then the entries.
      const std::size_t header = Le32(blob.data() + p);
      std::string owner;
      if (header >= 6 && header <= end - p) {
        const std::size_t n = Le16(blob.data() + p + 4);
        if (n <= header - 6) owner = DecodeJet4Text(blob.data() + p + 6, n);
      }
      if (header < 4 || header > end - p) {
        pos = end;
        continue;
      }
      p += header;
      while (p + 8 <= end) {
        const std::size_t entry = Le16(blob.data() + p);
        if (entry < 8 || entry > end - p) break;
        const std::size_t name_index = Le16(blob.data() + p + 4);
        const std::size_t data_size = Le16(blob.data() + p + 6);
        if (data_size >= 1 && data_size <= entry - 8 && name_index < names.size() &&
            names[name_index] == "ResultType" && !owner.empty()) {
          found.emplace_back(owner, blob[p + 8]);
        }
        p += entry;
      }
    }
    pos = end;
  }
  return found;
}

// The columns of MSysObjects that describe a link (any may be missing).
struct LinkColumns {
  int database = -1, connect = -1, foreign_name = -1;

  void Fill(const std::vector<Value>& row, CatalogEntry& e) const {
    auto text = [&](int column) {
      if (column < 0) return std::string();
      const Value& v = row[static_cast<std::size_t>(column)];
      return v.kind() == Value::Kind::kText ? v.text() : std::string();
    };
    e.database = text(database);
    e.connect = text(connect);
    e.foreign_name = text(foreign_name);
  }
};

LinkColumns FindLinkColumns(const TableDef& def, std::vector<bool>& wanted) {
  LinkColumns c;
  for (std::size_t i = 0; i < def.columns.size(); ++i) {
    const std::string& n = def.columns[i].name;
    int* column = SameName(n, "Database")      ? &c.database
                  : SameName(n, "Connect")     ? &c.connect
                  : SameName(n, "ForeignName") ? &c.foreign_name
                                               : nullptr;
    if (column == nullptr) continue;
    *column = static_cast<int>(i);
    wanted[i] = true;
  }
  return c;
}

}  // namespace

std::vector<std::pair<std::string, int>> JetFile::CalculatedResultTypes(std::uint32_t page) {
  if (page == 2) return {};  // MSysObjects itself (only in a damaged file): no recursion
  try {
    std::shared_ptr<const TableDef> def = ReadTableDef("MSysObjects", 2);
    int id = -1, props = -1;
    for (std::size_t i = 0; i < def->columns.size(); ++i) {
      if (SameName(def->columns[i].name, "Id")) id = static_cast<int>(i);
      if (SameName(def->columns[i].name, "LvProp")) props = static_cast<int>(i);
    }
    if (id < 0 || props < 0) return {};
    std::vector<bool> wanted(def->columns.size(), false);
    wanted[static_cast<std::size_t>(id)] = wanted[static_cast<std::size_t>(props)] = true;
    TableReader reader(*this, def);
    std::vector<std::vector<Value>> rows;
    for (std::size_t p = 0; p < reader.page_count(); ++p) {
      reader.DecodePage(p, rows, &wanted);
      for (const auto& row : rows) {
        const Value& vid = row[static_cast<std::size_t>(id)];
        const Value& blob = row[static_cast<std::size_t>(props)];
        if (vid.kind() == Value::Kind::kInteger &&
            (static_cast<std::uint32_t>(vid.integer()) & 0x00FFFFFFu) == page &&
            blob.kind() == Value::Kind::kBinary) {
          return ParseResultTypes(blob.binary());
        }
      }
    }
  } catch (const AutomationError&) {
    // A damaged catalogue: the calculated fields stay unreadable.
  }
  return {};
}

void JetFile::ReadCatalog() {
  std::shared_ptr<const TableDef> def;
  try {
    def = ReadTableDef("MSysObjects", 2);
  } catch (const AutomationError&) {
    Unrecognized(path_);
  }
  int id = -1, name = -1, type = -1, flags = -1;
  for (std::size_t i = 0; i < def->columns.size(); ++i) {
    const std::string& n = def->columns[i].name;
    if (SameName(n, "Id")) id = static_cast<int>(i);
    if (SameName(n, "Name")) name = static_cast<int>(i);
    if (SameName(n, "Type")) type = static_cast<int>(i);
    if (SameName(n, "Flags")) flags = static_cast<int>(i);
  }
  if (id < 0 || name < 0 || type < 0 || flags < 0) Unrecognized(path_);
  std::vector<bool> wanted(def->columns.size(), false);
  wanted[static_cast<std::size_t>(id)] = wanted[static_cast<std::size_t>(name)] = true;
  wanted[static_cast<std::size_t>(type)] = wanted[static_cast<std::size_t>(flags)] = true;
  const LinkColumns links = FindLinkColumns(*def, wanted);

  // The catalogue is listed as libmdb (and mdb-tables) lists MSysObjects: a
  // row moved to another page comes where its data lies.
  TableReader reader(*this, def);
  std::vector<std::vector<Value>> rows;
  std::vector<std::uint64_t> where;
  std::vector<std::pair<std::uint64_t, CatalogEntry>> found;
  for (std::size_t p = 0; p < reader.page_count(); ++p) {
    reader.DecodePage(p, rows, &wanted, &where);
    for (std::size_t r = 0; r < rows.size(); ++r) {
      const std::vector<Value>& row = rows[r];
      const Value& vid = row[static_cast<std::size_t>(id)];
      const Value& vname = row[static_cast<std::size_t>(name)];
      const Value& vtype = row[static_cast<std::size_t>(type)];
      const Value& vflags = row[static_cast<std::size_t>(flags)];
      if (vid.kind() != Value::Kind::kInteger || vname.kind() != Value::Kind::kText ||
          vtype.kind() != Value::Kind::kInteger) {
        continue;
      }
      CatalogEntry e;
      e.name = vname.text();
      e.id = static_cast<std::int32_t>(vid.integer());
      e.type = static_cast<int>(vtype.integer());
      e.flags =
          vflags.kind() == Value::Kind::kInteger ? static_cast<std::int32_t>(vflags.integer()) : 0;
      if (e.type == kObjectLinkedTable || e.type == kObjectLinkedOdbc) links.Fill(row, e);
      found.emplace_back(where[r], std::move(e));
    }
  }
  std::stable_sort(found.begin(), found.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  for (auto& f : found) catalog_.push_back(std::move(f.second));
}

// --- TableReader ---------------------------------------------------------------

TableReader::TableReader(JetFile& file, std::shared_ptr<const TableDef> def)
    : file_(file), def_(std::move(def)) {
  // Count the records of every page the usage map gives: live row slots of
  // data pages that belong to this table (an overflow pointer is one record;
  // the row it points to is marked deleted where it lies).
  std::vector<std::uint8_t> page;
  const int rco = file_.row_count_offset_;
  first_.push_back(0);
  for (std::uint32_t pg : def_->data_pages) {
    file_.CopyPage(pg, page);
    if (page[0] != kPageData || Le32(page.data() + 4) != def_->page) continue;
    const int rows = Le16(page.data() + rco);
    if (rco + 2 + 2 * rows > static_cast<int>(file_.page_size_)) {
      file_.Damaged("data page " + std::to_string(pg) + " of table '" + def_->name +
                    "' is damaged");
    }
    std::int64_t live = 0;
    for (int r = 0; r < rows; ++r) {
      if ((Le16(page.data() + rco + 2 + 2 * r) & kRowDeleted) == 0) ++live;
    }
    // Every record takes its slot and at least its column count and one
    // byte of null mask: a page cannot hold more, whatever its count says.
    const int min_row = 2 + (file_.jet3_ ? 1 : 2) + 1;
    if (live * min_row > static_cast<std::int64_t>(file_.page_size_) - rco - 2) {
      file_.Damaged("data page " + std::to_string(pg) + " of table '" + def_->name +
                    "' counts more records than it can hold");
    }
    if (live == 0) continue;
    pages_.push_back(pg);
    total_ += live;
    first_.push_back(total_);
  }

  spans_.resize(def_->columns.size());
}

TableReader::~TableReader() = default;

void TableReader::DecodePage(std::size_t page_index, std::vector<std::vector<Value>>& rows,
                             const std::vector<bool>* wanted, std::vector<std::uint64_t>* where) {
  rows.clear();
  if (where != nullptr) where->clear();
  const std::uint32_t pg = pages_.at(page_index);
  const int rco = file_.row_count_offset_;
  // The slot table is copied first: decoding may load other pages.
  std::vector<int> slots;
  {
    const std::uint8_t* page = file_.LoadPage(pg);
    const int count = Le16(page + rco);
    for (int r = 0; r < count; ++r) slots.push_back(Le16(page + rco + 2 + 2 * r));
  }
  rows.reserve(slots.size());
  for (int r = 0; r < static_cast<int>(slots.size()); ++r) {
    if (slots[static_cast<std::size_t>(r)] & kRowDeleted) continue;
    std::uint32_t row_page = pg;
    int row = r;
    for (int hop = 0;; ++hop) {
      const std::uint8_t* page = file_.LoadPage(row_page);
      int start = 0, size = 0, flags = 0;
      if (!file_.FindRow(page, row, &start, &size, &flags)) {
        file_.Damaged("row " + std::to_string(row) + " of page " + std::to_string(row_page) +
                      " of table '" + def_->name + "' is damaged");
      }
      const bool overflow = hop == 0 ? (slots[static_cast<std::size_t>(r)] & kRowOverflow) != 0
                                     : (flags & (kRowOverflow | kRowDeleted)) == kRowOverflow;
      if (!overflow) break;
      if (size < 4 || hop >= kMaxOverflowHops) {
        file_.Damaged("an overflow row of table '" + def_->name + "' is damaged");
      }
      const std::uint32_t ptr = Le32(page + start);
      row_page = ptr >> 8;
      row = static_cast<int>(ptr & 0xFF);
    }
    rows.emplace_back();
    DecodeRow(row_page, row, rows.back(), wanted);
    if (where != nullptr)
      where->push_back(static_cast<std::uint64_t>(row_page) << 16 |
                       static_cast<std::uint64_t>(row));
  }
}

void TableReader::DecodeRow(std::uint32_t pg, int row, std::vector<Value>& out,
                            const std::vector<bool>* wanted) {
  const std::uint8_t* page = file_.LoadPage(pg);
  int start = 0, size = 0, flags = 0;
  if (!file_.FindRow(page, row, &start, &size, &flags)) {
    file_.Damaged("row " + std::to_string(row) + " of page " + std::to_string(pg) + " of table '" +
                  def_->name + "' is damaged");
  }
  auto bad = [&](const char* what) {
    file_.Damaged(std::string(what) + " in row " + std::to_string(row) + " of page " +
                  std::to_string(pg) + " of table '" + def_->name + "'");
  };
  if (!CrackRow(page, start, size)) bad("a value outside the row");
  const std::size_t ncols = def_->columns.size();
  out.clear();
  out.reserve(ncols);
  for (std::size_t i = 0; i < ncols; ++i) {
    const Column& col = def_->columns[i];
    const Span& f = spans_[i];
    if ((wanted != nullptr && !(*wanted)[i]) || !col.readable) {
      out.emplace_back();
      continue;
    }
    if (col.type == MDB_BOOL && !col.calculated) {  // kept in the null mask
      out.emplace_back(!f.null);
      continue;
    }
    if (f.null || !f.present) {
      out.emplace_back();
      continue;
    }
    out.push_back(DecodeField(col, page + f.start, f.size, pg, row));
  }
}

// Where each column's value lies in the row, as Access lays rows out (and as
// libmdb's mdb_crack_row reads them): the column count first, the fixed
// values after it, the variable values after those; at the end of the row
// the null mask, before it the count of variable values and their offset
// table (JET3: one byte per offset and a table of 256-byte jumps). A column
// the row is too old to hold is Null. False when any part lies outside the
// row.
bool TableReader::CrackRow(const std::uint8_t* page, int start, int size) {
  const bool jet3 = file_.jet3_;
  const int count_size = jet3 ? 1 : 2;
  if (size < count_size + 1) return false;
  const int row_cols = jet3 ? page[start] : Le16(page + start);
  const int row_end = start + size - 1;
  const int mask = (row_cols + 7) / 8;
  if (mask + count_size > size) return false;
  const std::uint8_t* null_mask = page + row_end - mask + 1;
  int var_cols = 0;
  offsets_.clear();
  if (def_->var_columns > 0) {
    if (jet3) {
      var_cols = page[row_end - mask];
      int jumps = (size - 1) / 256;
      const int col_ptr = row_end - mask - jumps - 1;
      if (col_ptr - var_cols < start + count_size) return false;
      // The last jump is a dummy when the offsets end before its block.
      if ((col_ptr - start - var_cols) / 256 < jumps) --jumps;
      int used = 0;
      for (int i = 0; i <= var_cols; ++i) {
        while (used < jumps && i == page[row_end - mask - used - 1]) ++used;
        offsets_.push_back(page[col_ptr - i] + used * 256);
      }
    } else {
      if (row_end - mask - 1 < start + count_size) return false;
      var_cols = Le16(page + row_end - mask - 1);
      if (row_end - mask - 3 - 2 * var_cols < start + count_size) return false;
      for (int i = 0; i <= var_cols; ++i)
        offsets_.push_back(Le16(page + row_end - mask - 3 - 2 * i));
    }
  }
  const int fixed_cols = row_cols - var_cols;
  int fixed_found = 0;
  for (std::size_t i = 0; i < def_->columns.size(); ++i) {
    const Column& col = def_->columns[i];
    Span& f = spans_[i];
    f = Span{};
    f.null =
        col.col_num >= row_cols || (null_mask[col.col_num / 8] & (1 << (col.col_num % 8))) == 0;
    if (col.fixed && fixed_found < fixed_cols) {
      f.start = start + col.fixed_offset + count_size;
      f.size = col.size;
      f.present = true;
      ++fixed_found;
    } else if (!col.fixed && col.var_index < var_cols) {
      const int at = offsets_[static_cast<std::size_t>(col.var_index)];
      f.start = start + at;
      f.size = offsets_[static_cast<std::size_t>(col.var_index) + 1] - at;
      f.present = true;
    } else {
      f.null = true;
    }
    if (f.present && (f.size < 0 || f.start < start || f.start + f.size > start + size))
      return false;
  }
  return true;
}

Value TableReader::DecodeField(const Column& col, const std::uint8_t* data, int size,
                               std::uint32_t pg, int row) {
  auto where = [&] {
    return "field '" + col.name + "' of table '" + def_->name + "' (page " + std::to_string(pg) +
           ", row " + std::to_string(row) + ")";
  };
  const int type = col.value_type;
  std::vector<std::uint8_t> long_value;
  if (type == MDB_MEMO || type == MDB_OLE) {
    long_value = file_.ReadLongValue(data, static_cast<std::size_t>(size), where());
    data = long_value.data();
    size = static_cast<int>(long_value.size());
  }
  auto need = [&](int n) {
    if (size < n) file_.Damaged("the value of " + where() + " is too short");
  };
  if (col.calculated) {
    // 16 bytes, the length of the value (4 bytes), the value, padding.
    if (size >= 20) {
      const std::uint32_t len = Le32(data + 16);
      data += 20;
      size = static_cast<int>(std::min<std::uint32_t>(len, static_cast<std::uint32_t>(size - 20)));
    }
    // An expression that came out Null leaves no value (a text shows as "").
    if (size == 0 && type != MDB_TEXT && type != MDB_MEMO) return Value();
    if (type == MDB_BOOL) {
      need(1);
      return Value(data[0] != 0);
    }
    if (type == MDB_NUMERIC) {
      // Length (2 bytes), scale, sign, then the magnitude in as many 4-byte
      // groups as it needs: a leading little-endian group when their count
      // is odd, then little-endian 8-byte groups, most significant first.
      need(4);
      const int total = static_cast<std::int16_t>(Le16(data));
      const int scale = data[2];
      const bool negative = data[3] != 0;
      int n = std::min({16, ((total > 0 ? total : size - 2) - 2) / 4 * 4, (size - 4) / 4 * 4});
      unsigned __int128 m = 0;
      int pos = 0;
      if (n > 0 && n % 8 != 0) {
        m = Le32(data + 4);
        pos = 4;
      }
      for (; pos + 8 <= n; pos += 8) m = (m << 64) | Le64(data + 4 + pos);
      return DecimalToValue(negative, m, scale);
    }
  }
  switch (type) {
    case MDB_BYTE:
      need(1);
      return Value(static_cast<std::int64_t>(data[0]));
    case MDB_INT:
      need(2);
      return Value(static_cast<std::int64_t>(static_cast<std::int16_t>(Le16(data))));
    case MDB_LONGINT:
      need(4);
      return Value(static_cast<std::int64_t>(static_cast<std::int32_t>(Le32(data))));
    case MDB_MONEY:
      need(8);
      return Value(Currency{static_cast<std::int64_t>(Le64(data))});
    case kTypeBigInt:
      need(8);
      return Value(static_cast<std::int64_t>(Le64(data)));
    case MDB_FLOAT: {
      need(4);
      const std::uint32_t bits = Le32(data);
      float f;
      std::memcpy(&f, &bits, 4);
      return Value(fn::SingleAsShown(f));
    }
    case MDB_DOUBLE:
    case MDB_DATETIME: {
      need(8);
      const std::uint64_t bits = Le64(data);
      double d;
      std::memcpy(&d, &bits, 8);
      return type == MDB_DOUBLE ? Value(d) : Value(DateTime{d});
    }
    case MDB_BINARY:
    case MDB_OLE:
    case kTypeBinaryBlock:
      return Value(Binary(data, data + size));
    case MDB_TEXT:
    case MDB_MEMO:
      return Value(file_.Text(data, static_cast<std::size_t>(size)));
    case MDB_REPID:
      need(16);
      return Value(FormatGuid(data));
    case MDB_NUMERIC: {
      need(17);
      const bool negative = data[0] != 0;
      unsigned __int128 m = 0;
      // Four little-endian 32-bit groups, most significant first.
      for (int g = 0; g < 4; ++g) m = (m << 32) | Le32(data + 1 + 4 * g);
      // Decimal: a double when exact, else the exact digits as text.
      return DecimalToValue(negative, m, col.scale);
    }
    case kTypeExtDateTime: {
      double serial = 0;
      if (!ExtendedDateSerial(data, size, &serial)) {
        file_.Damaged("the value of " + where() + " is not a date");
      }
      return Value(DateTime{serial});
    }
    default:
      return Value();
  }
}

}  // namespace kestrin::automation::mdb::jet
