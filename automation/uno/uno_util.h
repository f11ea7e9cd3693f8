// Small helpers shared by the parts of the UNO spreadsheet engine: Excel's
// failure numbers, interface queries, the office's form of cell values, and
// sheet lookups. Internal to automation/uno/.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include <com/sun/star/beans/PropertyValue.hpp>
#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/container/XIndexAccess.hpp>
#include <com/sun/star/sheet/XSpreadsheet.hpp>
#include <com/sun/star/sheet/XSpreadsheetDocument.hpp>
#include <com/sun/star/table/CellRangeAddress.hpp>

#include "automation/uno/cell_values.h"
#include "automation/uno/uno_runtime.h"
#include "automation/value.h"

namespace kestrin::automation::uno {

// Excel's numbers for the failures the engine raises.
inline constexpr std::int32_t kAppDefined = 1004;   // "Application-defined or object-defined error"
inline constexpr std::int32_t kCannotCreate = 429;  // "ActiveX component can't create object"
inline constexpr std::int32_t kDisconnected = -2147417848;  // RPC_E_DISCONNECTED
inline constexpr std::int32_t kCallTimedOut = -2147417825;  // RPC_E_TIMEOUT

// True when DISPLAY names an X display or WAYLAND_DISPLAY a Wayland one: the
// office can show workbooks there.
bool HaveDisplay();
// True when DISPLAY names an X display.
bool HaveXDisplay();

// `from` as interface T; throws css::uno::RuntimeException when it is not one.
template <class T>
css::uno::Reference<T> Query(const css::uno::Reference<css::uno::XInterface>& from) {
  return css::uno::Reference<T>(from, css::uno::UNO_QUERY_THROW);
}
css::uno::Reference<css::beans::XPropertySet> Props(
    const css::uno::Reference<css::uno::XInterface>& from);
css::uno::Reference<css::beans::XPropertySet> Props(const css::uno::Any& from);
css::beans::PropertyValue Prop(const char* name, css::uno::Any value);

// ASCII letters in lower case; other bytes unchanged.
std::string Lower(std::string s);

// The office's form of a value for a block transfer: a number (double), a
// text, or an empty text, which leaves the cell empty (Null, Binary).
css::uno::Any CellAny(const Value& v);

std::string SheetName(const css::uno::Reference<css::sheet::XSpreadsheet>& sheet);
css::uno::Reference<css::container::XIndexAccess> SheetList(
    const css::uno::Reference<css::sheet::XSpreadsheetDocument>& doc);
// Position of the sheet in its workbook, from 0.
int SheetIndex(const css::uno::Reference<css::sheet::XSpreadsheet>& sheet);
// Sheet by name, exact first, then ignoring ASCII case as Excel does; an
// empty reference when there is none.
css::uno::Reference<css::sheet::XSpreadsheet> FindSheet(
    const css::uno::Reference<css::sheet::XSpreadsheetDocument>& doc, std::string_view name);
css::table::CellRangeAddress Address(const css::uno::Reference<css::uno::XInterface>& range);

}  // namespace kestrin::automation::uno
