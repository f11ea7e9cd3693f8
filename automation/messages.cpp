#include "automation/messages.h"

#include <array>
#include <cerrno>
#include <cstdlib>

#include "automation/error_numbers.h"

namespace kestrin::automation {

namespace {

using namespace errnum;

constexpr StandardText kTexts[] = {
    // The VB runtime's.
    {kInvalidProcedureCall, "プロシージャの呼び出し、または引数が不正です。"},
    {kOverflow, "オーバーフローしました。"},
    {kOutOfMemory, "メモリが不足しています。"},
    {kSubscriptOutOfRange, "インデックスが有効範囲にありません。"},
    {kDivisionByZero, "0 で除算しました。"},
    {kTypeMismatch, "型が一致しません。"},
    {kOutOfStringSpace, "文字列領域が不足しています。"},
    {kInternalError, "内部エラーです。"},
    {kFileNotFound, "ファイルが見つかりません。"},
    {kDiskFull, "ディスクの空き容量が不足しています。"},
    {kPermissionDenied, "書き込みできません。"},
    {kPathFileAccess, "パス名が無効です。"},
    {kPathNotFound, "パスが見つかりません。"},
    {kObjectNotSet, "オブジェクト変数または With ブロック変数が設定されていません。"},
    {kInvalidPatternString, "パターン文字列が不正です。"},
    {kInvalidUseOfNull, "Null の使い方が不正です。"},
    {kNoSuchControl, "コントロール配列の要素 '|' は存在しません。"},
    {kCannotCreate, "ActiveX コンポーネントはオブジェクトを作成できません。"},
    // Excel's.
    {kAppDefined, "アプリケーション定義またはオブジェクト定義のエラーです。"},
    // COM's.
    {kDisconnected, "起動されたオブジェクトはクライアントから切断されました。"},
    {kCallTimedOut, "タイムアウト期間が過ぎたため、この操作は返されました。"},
    // DAO: files, objects and records.
    {kObjectNotFound, "オブジェクト '|' が見つかりませんでした。"},
    {kReservedError, "予約済みエラー (|) です。このエラーに対するメッセージはありません。"},
    {kNoCurrentRecord, "カレント レコードがありません。"},
    {kCannotFindFile, "ファイル '|' が見つかりませんでした。"},
    {kReadOnly, "更新できません。データベースまたはオブジェクトは読み取り専用です。"},
    {kNotValidPassword, "パスワードが正しくありません。"},
    {kResourcesExceeded, "システム リソースが不足しています。"},
    {kInvalidPath,
     "'|' は有効なパスではありません。パス名が正しいかどうか、およびファイルがあるサーバーに接続"
     "されているかどうかを確認してください。"},
    {kDamaged,
     "データベース '|' を開けません。アプリケーションで認識できないデータベースであるか、"
     "ファイルが破損しています。"},
    {kLinkedTable, "'|' への ODBC 接続が失敗しました。"},
    {kNoInstallableIsam, "インストール可能な ISAM が見つかりませんでした。"},
    {kInvalidOperation, "操作が無効です。"},
    {kInvalidFieldType, "フィールドのデータ型が正しくありません。"},
    {kItemNotFound, "このコレクションには項目がありません。"},
    {kUnrecognizedFormat, "データベースの形式 '|' を認識できません。"},
    {kObjectClosed, "オブジェクトが無効か、設定されていません。"},
    {kAlreadyOpen, "データベースは既に開いています。"},
    // DAO: queries.
    {kTooFewParameters, "パラメーターが少なすぎます。| を指定してください。"},
    {kCannotEvaluate, "この式は正しく入力されていないか、複雑すぎるために評価できません。"},
    {kSyntax, "クエリ式 '|' の構文エラーです。"},
    {kCircularAlias, "エイリアス '|' によって循環参照が発生しました。"},
    {kTableNotFound,
     "入力テーブルまたはクエリ '|' が見つかりませんでした。オブジェクトが存在していること、"
     "および名前が正しいことを確認してください。"},
    {kAmbiguousField, "指定したフィールド '|' は FROM 句にある複数のテーブルを参照しています。"},
    {kUndefinedFunction, "式に未定義関数 '|' があります。"},
    {kNestedAggregate, "式 (|) に集計関数を使用することはできません。"},
    {kAggregateInWhere, "WHERE 句に集計関数を使用することはできません。"},
    {kAggregateInGroupBy, "GROUP BY 句に集計関数を使用することはできません。"},
    {kCircularQuery, "クエリ '|' によって循環参照が発生しました。"},
    {kDuplicateSource, "FROM 句でソース名 '|' が 2 回使われています。"},
    {kCrosstabValue, "クロス集計クエリの TRANSFORM の値は集計関数でなければなりません。"},
    {kTooManyFields, "定義されているフィールドが多すぎます。"},
    {kSubqueryColumns, "サブクエリは 1 つの列だけを返さなければなりません。"},
    {kUnionColumns, "ユニオン クエリで選択した 2 つのテーブルまたはクエリの列数が一致しません。"},
    {kUnionOrder, "ユニオン クエリの ORDER BY には出力する列のいずれかを指定してください。"},
    {kSubqueryRows, "このサブクエリでは 1 つのレコードしか返すことができません。"},
    {kDataTypeMismatch, "抽出条件でデータ型が一致しません。"},
};

}  // namespace

std::string Fill(std::string_view text, std::initializer_list<std::string_view> names) {
  std::string out;
  auto next = names.begin();
  for (char c : text) {
    if (c != '|') {
      out.push_back(c);
    } else if (next != names.end()) {
      out.append(*next++);
    }
  }
  return out;
}

std::string_view StandardTextOf(std::int32_t number) {
  for (const StandardText& t : kTexts) {
    if (t.number == number) return t.text;
  }
  return {};
}

std::span<const StandardText> StandardTexts() { return kTexts; }

std::string ErrorNumber::Description(std::initializer_list<std::string_view> names) const {
  return Fill(StandardTextOf(number), names);
}

std::string SystemErrorWords(int error) {
  switch (error) {
    case ENOENT:
    case ENOTDIR:
      return msg::kNoSuchFile();
    case EACCES:
    case EPERM:
    case EROFS:
      return msg::kNoPermission();
    case ENOSPC:
    case EDQUOT:
      return msg::kNoSpace();
    case EISDIR:
      return msg::kIsFolder();
    default:
      return msg::kSystemError({std::to_string(error)});
  }
}

std::string OfficeIoWords(std::string_view office_message) {
  // The office reports a failed store as "...: 0x909(Error Area:Io ...)":
  // an error code of the office's I/O area, its class in bits 8 to 12.
  const auto at = office_message.find("0x");
  if (at == std::string_view::npos) return {};
  const std::string hex(office_message.substr(at + 2, 8));
  char* end = nullptr;
  const unsigned long code = std::strtoul(hex.c_str(), &end, 16);
  if (end == hex.c_str() || (code >> 13) != 0) return {};  // not of the I/O area
  switch ((code >> 8) & 0x1f) {
    case 3:  // NotExists
      return "ファイルまたはフォルダーが見つかりません (移動または削除されました)。";
    case 5:  // Access
      return "ファイルまたはフォルダーに書き込む権限がありません。";
    case 7:  // Locking
      return "ファイルは別のプログラムで使用中です。";
    case 9:  // Space
      return (code & 0xff) == 9 ? "ブックを保存する場所の空き容量が不足しています。"
                                : std::string();
    case 12:  // Write
      return "ファイルに書き込めませんでした。";
    default:
      return {};
  }
}

}  // namespace kestrin::automation
