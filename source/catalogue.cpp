#include "source/catalogue.h"

#include <array>
#include <utility>

namespace kestrin::source {
namespace {

// In the order the codes are tested; the first match wins.
constexpr std::array<std::pair<std::string_view, std::string_view>, 19> kQueryKinds{{
    {"0", "選択ｸｴﾘｰ"},          {"16", "ｸﾛｽ集計ｸｴﾘｰ"},    {"32", "削除ｸｴﾘｰ"},
    {"48", "更新ｸｴﾘｰ"},         {"64", "追加ｸｴﾘｰ"},       {"80", "作成ｸｴﾘｰ"},
    {"96", "定義ｸｴﾘｰ"},         {"112", "ﾊﾟｽｽﾙｰｸｴﾘｰ"},    {"128", "ﾕﾆｵﾝｸｴﾘｰ"},
    {"144", "ﾊﾟｽｽﾙｰ&更新ｸｴﾘｰ"}, {"240", "ｱｸｼｮﾝｸｴﾘｰ"},     {"160", "複合ｸｴﾘｰ"},
    {"224", "遂行ｸｴﾘｰ"},        {"8", "選択ｸｴﾘｰ(隠し)"},  {"24", "ｸﾛｽ集計ｸｴﾘｰ(隠し)"},
    {"40", "削除ｸｴﾘｰ(隠し)"},   {"56", "更新ｸｴﾘｰ(隠し)"}, {"72", "追加ｸｴﾘｰ(隠し)"},
    {"88", "作成ｸｴﾘｰ(隠し)"},
}};

constexpr std::string_view kSelect = "選択ｸｴﾘｰ";
constexpr std::string_view kHiddenSelect = "選択ｸｴﾘｰ(隠し)";

}  // namespace

std::string QryKindName(std::string_view code) {
  for (const auto& [text, label] : kQueryKinds) {
    if (code == text) return std::string(label);
  }
  return "System";
}

bool IsListedTableName(std::string_view name) { return !name.starts_with("MSys"); }

std::vector<std::string> ListedTableNames(const automation::DaoDatabase& db) {
  std::vector<std::string> names;
  const auto& tables = db.TableDefs();
  const int count = tables.Count();
  for (int i = 0; i < count; ++i) {
    std::string name = tables.Item(i).Name();
    if (IsListedTableName(name)) names.push_back(std::move(name));
  }
  return names;
}

std::vector<std::string> ListedQueryNames(const automation::DaoDatabase& db) {
  std::vector<std::string> names;
  const auto& queries = db.QueryDefs();
  const int count = queries.Count();
  for (int i = 0; i < count; ++i) {
    const auto& query = queries.Item(i);
    const std::string label = QryKindName(std::to_string(query.Type()));
    if (label == kSelect || label == kHiddenSelect) names.push_back(query.Name());
  }
  return names;
}

}  // namespace kestrin::source
