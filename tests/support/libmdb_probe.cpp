#include "tests/support/libmdb_probe.h"

#include "automation/utf8.h"

#include <glib.h>
// glib first: mdbtools.h includes it inside extern "C".
#include <mdbtools.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <stdexcept>

namespace kestrin::testsupport {
namespace {

using automation::Value;

struct HandleCloser {
  void operator()(MdbHandle* h) const { mdb_close(h); }
};
struct TableFreer {
  void operator()(MdbTableDef* t) const { mdb_free_tabledef(t); }
};
using Handle = std::unique_ptr<MdbHandle, HandleCloser>;
using Table = std::unique_ptr<MdbTableDef, TableFreer>;

Handle Open(const std::filesystem::path& file) {
  Handle h(mdb_open(file.c_str(), MDB_NOFLAGS));
  if (!h) throw std::runtime_error("libmdb cannot open " + file.string());
  if (!mdb_read_catalog(h.get(), MDB_ANY))
    throw std::runtime_error("libmdb cannot read the catalogue of " + file.string());
  return h;
}

std::uint32_t Get32(const std::uint8_t* p) {
  return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

// JET4 text: UCS-2LE, or FF FE followed by the compressed form, where 0x00
// switches between one byte per character and two.
std::string DecodeText(const automation::Binary& b) {
  std::u16string units;
  if (b.size() >= 2 && b[0] == 0xFF && b[1] == 0xFE) {
    bool compressed = true;
    for (std::size_t i = 2; i < b.size();) {
      if (b[i] == 0) {
        compressed = !compressed;
        ++i;
      } else if (compressed) {
        units.push_back(b[i++]);
      } else if (i + 1 < b.size()) {
        units.push_back(static_cast<char16_t>(b[i] | (b[i + 1] << 8)));
        i += 2;
      } else {
        throw std::runtime_error("odd compressed text");
      }
    }
  } else {
    if (b.size() % 2) throw std::runtime_error("odd UCS-2 length");
    for (std::size_t i = 0; i < b.size(); i += 2)
      units.push_back(static_cast<char16_t>(b[i] | (b[i + 1] << 8)));
  }
  std::string out;
  for (std::size_t i = 0; i < units.size(); ++i) {
    std::uint32_t u = units[i];
    if (u >= 0xD800 && u < 0xDC00 && i + 1 < units.size() && units[i + 1] >= 0xDC00 &&
        units[i + 1] < 0xE000) {
      u = 0x10000 + ((u - 0xD800) << 10) + (units[i + 1] - 0xDC00);
      ++i;
    }
    automation::AppendUtf8(out, u);
  }
  return out;
}

automation::Binary FindRow(MdbHandle* mdb, std::uint32_t pg_row) {
  void* buf = nullptr;
  int off = 0;
  size_t len = 0;
  if (mdb_find_pg_row(mdb, static_cast<int>(pg_row), &buf, &off, &len))
    throw std::runtime_error("libmdb cannot find long-value row " + std::to_string(pg_row));
  auto* p = static_cast<std::uint8_t*>(buf) + off;
  return automation::Binary(p, p + len);
}

// The bytes of a memo or OLE value from its 12-byte header (and, inline,
// the bytes after it), following LVAL rows as libmdb finds them.
automation::Binary LongValue(MdbHandle* mdb, const std::uint8_t* field, int size) {
  if (size < 12) throw std::runtime_error("long value shorter than its header");
  std::uint32_t head = Get32(field);
  std::uint32_t length = head & 0x3FFFFFFF;
  automation::Binary out;
  if (head & 0x80000000u) {
    out.assign(field + 12, field + size);
  } else if (head & 0x40000000u) {
    out = FindRow(mdb, Get32(field + 4));
  } else {
    std::uint32_t next = Get32(field + 4);
    int guard = 0;
    while (next != 0) {
      if (++guard > 1'000'000) throw std::runtime_error("long-value chain does not end");
      automation::Binary row = FindRow(mdb, next);
      if (row.size() < 4) throw std::runtime_error("long-value chain row too short");
      next = Get32(row.data());
      out.insert(out.end(), row.begin() + 4, row.end());
    }
  }
  if (out.size() != length)
    throw std::runtime_error("long value holds " + std::to_string(out.size()) +
                             " bytes, its header says " + std::to_string(length));
  return out;
}

Value Decode(MdbHandle* mdb, const MdbColumn& col, const MdbField& f, automation::Binary& raw) {
  if (col.col_type == MDB_BOOL) return Value(!f.is_null);
  if (f.is_null) return Value();
  const auto* p = static_cast<const std::uint8_t*>(f.value);
  raw.assign(p, p + f.siz);
  auto fixed = [&](std::size_t n) {
    if (static_cast<std::size_t>(f.siz) < n) throw std::runtime_error("short fixed field");
  };
  switch (col.col_type) {
    case MDB_BYTE:
      fixed(1);
      return Value(static_cast<int>(p[0]));
    case MDB_INT: {
      fixed(2);
      std::int16_t v;
      std::memcpy(&v, p, 2);
      return Value(static_cast<int>(v));
    }
    case MDB_LONGINT: {
      fixed(4);
      std::int32_t v;
      std::memcpy(&v, p, 4);
      return Value(static_cast<std::int64_t>(v));
    }
    case MDB_MONEY: {
      fixed(8);
      std::int64_t v;
      std::memcpy(&v, p, 8);
      return Value(automation::Currency{v});
    }
    case MDB_FLOAT: {
      fixed(4);
      float v;
      std::memcpy(&v, p, 4);
      return Value(static_cast<double>(v));
    }
    case MDB_DOUBLE:
    case MDB_DATETIME: {
      fixed(8);
      double v;
      std::memcpy(&v, p, 8);
      return col.col_type == MDB_DOUBLE ? Value(v) : Value(automation::DateTime{v});
    }
    case MDB_REPID:
      fixed(16);
      return Value(automation::Binary(p, p + 16));
    case MDB_BINARY:
      return Value(raw);
    case MDB_TEXT:
      return Value(DecodeText(raw));
    case MDB_MEMO:
      raw = LongValue(mdb, p, f.siz);
      return Value(DecodeText(raw));
    case MDB_OLE:
      raw = LongValue(mdb, p, f.siz);
      return Value(raw);
    default:
      throw std::runtime_error("unexpected column type " + std::to_string(col.col_type));
  }
}

}  // namespace

std::vector<ProbedObject> ProbeCatalog(const std::filesystem::path& file) {
  Handle h = Open(file);
  std::vector<ProbedObject> out;
  for (unsigned i = 0; i < h->num_catalog; ++i) {
    auto* e = static_cast<MdbCatalogEntry*>(g_ptr_array_index(h->catalog, i));
    out.push_back({e->object_name, e->object_type, static_cast<std::uint32_t>(e->flags),
                   static_cast<std::uint32_t>(e->table_pg)});
  }
  return out;
}

ProbedTable ProbeTable(const std::filesystem::path& file, const std::string& name) {
  Handle h = Open(file);
  MdbHandle* mdb = h.get();
  MdbCatalogEntry* entry = nullptr;
  for (unsigned i = 0; i < mdb->num_catalog; ++i) {
    auto* e = static_cast<MdbCatalogEntry*>(g_ptr_array_index(mdb->catalog, i));
    if (e->object_type == MDB_TABLE && name == e->object_name) entry = e;
  }
  if (!entry) throw std::runtime_error("no table " + name);
  Table t(mdb_read_table(entry));
  if (!t) throw std::runtime_error("libmdb cannot read the definition of " + name);
  if (!mdb_read_columns(t.get())) throw std::runtime_error("libmdb cannot read columns of " + name);
  ProbedTable out;
  out.num_rows = t->num_rows;
  out.usage_map_type = t->map_sz ? t->usage_map[0] : -1;
  std::vector<const MdbColumn*> cols;
  for (unsigned i = 0; i < t->num_cols; ++i) {
    auto* c = static_cast<MdbColumn*>(g_ptr_array_index(t->columns, i));
    cols.push_back(c);
    out.columns.push_back({c->name, c->col_type, c->col_size});
  }
  mdb_rewind_table(t.get());
  MdbField fields[256];
  auto read_row = [&](int r) {
    int start = 0;
    size_t len = 0;
    if (mdb_find_row(mdb, r, &start, &len)) throw std::runtime_error("libmdb cannot find a row");
    start &= 0x1FFF;
    int n = mdb_crack_row(t.get(), start, len, fields);
    if (n != static_cast<int>(t->num_cols))
      throw std::runtime_error("row has " + std::to_string(n) + " columns");
    std::vector<Value> row;
    std::vector<automation::Binary> raw(cols.size());
    for (std::size_t i = 0; i < cols.size(); ++i)
      row.push_back(Decode(mdb, *cols[i], fields[i], raw[i]));
    out.rows.push_back(std::move(row));
    out.raw.push_back(std::move(raw));
    out.row_sizes.push_back(len);
  };
  while (mdb_read_next_dpg(t.get())) {
    std::uint32_t page = mdb->cur_pg;
    int rows = mdb_get_int16(mdb->pg_buf, 12);
    for (int r = 0; r < rows; ++r) {
      int offset = mdb_get_int16(mdb->pg_buf, 14 + 2 * r);
      switch (offset & 0xC000) {
        case 0xC000:
          ++out.deleted_slots;
          break;
        case 0x8000:
          break;  // reached through its pointer
        case 0x4000: {
          const std::uint8_t* p = mdb->pg_buf + (offset & 0x1FFF);
          std::uint32_t target = Get32(p);
          if (!mdb_read_pg(mdb, target >> 8)) throw std::runtime_error("bad row pointer");
          read_row(static_cast<int>(target & 0xFF));
          if (!mdb_read_pg(mdb, page)) throw std::runtime_error("cannot reread a page");
          ++out.moved_rows;
          break;
        }
        default:
          read_row(r);
      }
    }
  }
  return out;
}

std::string RunCommand(const std::string& command) {
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
  if (!pipe) throw std::runtime_error("cannot run " + command);
  std::string out;
  char buf[65536];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, pipe.get())) > 0) out.append(buf, n);
  int status = pclose(pipe.release());
  if (status != 0)
    throw std::runtime_error(command + " failed with status " + std::to_string(status));
  return out;
}

std::string ShellQuote(const std::string& s) {
  std::string out = "'";
  for (char c : s) {
    if (c == '\'')
      out += "'\\''";
    else
      out.push_back(c);
  }
  return out + "'";
}

}  // namespace kestrin::testsupport
