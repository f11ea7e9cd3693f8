#include "automation/uno/uno_util.h"

#include <cmath>
#include <cstdlib>

#include <com/sun/star/container/XNamed.hpp>
#include <com/sun/star/sheet/XCellRangeAddressable.hpp>
#include <com/sun/star/sheet/XSpreadsheets.hpp>

namespace kestrin::automation::uno {

using css::uno::Any;
using css::uno::Reference;
using css::uno::UNO_QUERY_THROW;
using rtl::OUString;

namespace {

bool IsSet(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr && value[0] != '\0';
}

}  // namespace

bool HaveDisplay() { return IsSet("DISPLAY") || IsSet("WAYLAND_DISPLAY"); }

bool HaveXDisplay() { return IsSet("DISPLAY"); }

Reference<css::beans::XPropertySet> Props(const Reference<css::uno::XInterface>& from) {
  return Query<css::beans::XPropertySet>(from);
}

Reference<css::beans::XPropertySet> Props(const Any& from) {
  return Reference<css::beans::XPropertySet>(from, UNO_QUERY_THROW);
}

css::beans::PropertyValue Prop(const char* name, Any value) {
  css::beans::PropertyValue p;
  p.Name = OUString::createFromAscii(name);
  p.Value = std::move(value);
  return p;
}

std::string Lower(std::string s) {
  for (char& c : s) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return s;
}

Any CellAny(const Value& v) {
  if (v.kind() == Value::Kind::kText) return Any(ToOU(v.text()));
  if (auto number = NumberInCell(v)) return Any(*number);
  return Any(OUString());
}

std::string SheetName(const Reference<css::sheet::XSpreadsheet>& sheet) {
  return FromOU(Query<css::container::XNamed>(sheet)->getName());
}

Reference<css::container::XIndexAccess> SheetList(
    const Reference<css::sheet::XSpreadsheetDocument>& doc) {
  return Query<css::container::XIndexAccess>(doc->getSheets());
}

int SheetIndex(const Reference<css::sheet::XSpreadsheet>& sheet) {
  return Query<css::sheet::XCellRangeAddressable>(sheet)->getRangeAddress().Sheet;
}

Reference<css::sheet::XSpreadsheet> FindSheet(
    const Reference<css::sheet::XSpreadsheetDocument>& doc, std::string_view name) {
  auto sheets = SheetList(doc);
  Reference<css::sheet::XSpreadsheet> folded;
  std::string lower = Lower(std::string(name));
  for (sal_Int32 i = 0; i < sheets->getCount(); ++i) {
    Reference<css::sheet::XSpreadsheet> sheet(sheets->getByIndex(i), UNO_QUERY_THROW);
    std::string n = SheetName(sheet);
    if (n == name) return sheet;
    if (!folded.is() && Lower(n) == lower) folded = sheet;
  }
  return folded;
}

css::table::CellRangeAddress Address(const Reference<css::uno::XInterface>& range) {
  return Query<css::sheet::XCellRangeAddressable>(range)->getRangeAddress();
}

}  // namespace kestrin::automation::uno
