// The message catalogue: every description the program writes, in Japanese,
// whatever the locale. It holds the standard description of each failure
// number of error_numbers.h, worded as Japanese Access, VB and Excel word
// the same number, and the sentences the program adds about what it knows
// (which file, which table, which query).
//
// A '|' in a text marks where a name goes; Fill() puts the names in, in
// order, and an empty text once they run out.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>

namespace kestrin::automation {

std::string Fill(std::string_view text, std::initializer_list<std::string_view> names = {});

// One sentence of the catalogue.
struct Message {
  std::string_view text;
  std::string operator()(std::initializer_list<std::string_view> names = {}) const {
    return Fill(text, names);
  }
};

// The standard description of a failure number, keyed by the table of
// error_numbers.h; empty for a number the table lacks.
struct StandardText {
  std::int32_t number;
  std::string_view text;
};
std::string_view StandardTextOf(std::int32_t number);
std::span<const StandardText> StandardTexts();

// What the office's I/O error code in `office_message` (an error code such
// as "0x909" that the office puts in its report of a failed store or load)
// means to the user; empty when the message carries none the user can act on.
std::string OfficeIoWords(std::string_view office_message);

namespace msg {

// Files and databases.
inline constexpr Message kNoFileOpened{"ファイル '|' を開けませんでした。"};
inline constexpr Message kProtectedFile{
    "データベース '|' は|。Access はパスワードを求めますが、Kestrin "
    "は保護されたファイルを読み取りません。"};
inline constexpr Message kProtectedByPassword{"データベース パスワードで保護されています"};
inline constexpr Message kEncrypted{"暗号化されています"};
inline constexpr Message kDamagedWhy{
    "データベース '|' を開けません。アプリケーションで認識できないデータベースであるか、"
    "ファイルが破損しています (|)。"};
inline constexpr Message kReadOnlyProperty{
    "更新できません。データベースまたはオブジェクトは読み取り専用です (プロパティ "
    "'|'、データベース '|')。"};
inline constexpr Message kNoRunningAccess{"(実行中の Access.Application がありません)"};
inline constexpr Message kRecordsChanged{"テーブル '|' のレコードが読み取り中に変更されました。"};
inline constexpr Message kNoQueriesColumn{
    "'|' の保存されたクエリを読み取れません。MSysQueries に列 | がありません。"};
inline constexpr Message kFieldUnreadable{"テーブル '|' のフィールド '|' を読み取れません: |。"};
inline constexpr Message kCalculatedUnknown{"結果の型が不明な集計フィールドです"};
inline constexpr Message kComplexField{"添付ファイル、複数値、または履歴のフィールドです"};
inline constexpr Message kTypeUnsupported{"データ型 (コード |) はサポートされていません"};
inline constexpr Message kComplexTypeUnknown{
    "フィールド '|' を読み取れません。値 (非表示のテーブル '|') "
    "のデータ型はサポートされていません (コード |)。"};

// Where the page reader finds a file damaged.
inline constexpr Message kDefTruncated{"テーブル '|' の定義が途中で切れています"};
inline constexpr Message kPageOutside{"ページ | はファイルの範囲外です"};
inline constexpr Message kPageUnreadable{"ページ | を読み取れません"};
inline constexpr Message kLongTruncated{"| の長い値が途中で切れています"};
inline constexpr Message kLongTooLong{"| の長い値がファイルより長くなっています"};
inline constexpr Message kLongMissingRow{"| の長い値が存在しない行を指しています"};
inline constexpr Message kLongUnknownForm{"| の長い値の形式が不明です"};
inline constexpr Message kLongChainBroken{"| の長い値のページのつながりが切れています"};
inline constexpr Message kLongChainMissingRow{
    "| の長い値のページのつながりが存在しない行を指しています"};
inline constexpr Message kDefOutside{"テーブル '|' の定義はファイルの範囲外です"};
inline constexpr Message kDefChainBroken{"テーブル '|' の定義のページのつながりが切れています"};
inline constexpr Message kDefPageWrong{"テーブル '|' のページ | はテーブル定義ではありません"};
inline constexpr Message kDefCounts{"テーブル '|' の定義の個数があり得ない値です"};
inline constexpr Message kDefColumnNumber{"テーブル '|' の定義の列番号があり得ない値です"};
inline constexpr Message kColumnTooShort{"テーブル '|' の列 | はその型には短すぎます"};
inline constexpr Message kDataPageDamaged{"テーブル '|' のデータ ページ | が破損しています"};
inline constexpr Message kDataPageCount{
    "テーブル '|' のデータ ページ | のレコード数が保持できる数を超えています"};
inline constexpr Message kRowDamaged{"テーブル '|' のページ | の行 | が破損しています"};
inline constexpr Message kOverflowRowDamaged{"テーブル '|' のオーバーフロー行が破損しています"};
inline constexpr Message kValueOutsideRow{
    "テーブル '|' のページ | の行 | に行の外を指す値があります"};
inline constexpr Message kValueTooShort{"| の値が短すぎます"};
inline constexpr Message kValueNotDate{"| の値は日付ではありません"};
inline constexpr Message kValueWhere{"テーブル '|' のフィールド '|' (ページ |、行 |)"};
inline constexpr Message kHiddenTableIncomplete{
    "フィールド '|' の非表示のテーブルにキーまたは値がありません"};

// Linked tables and other databases.
inline constexpr Message kOdbcLink{
    "テーブル '|' は ODBC データ ソース '|' の '|' にリンクされています。レコードはデータベース "
    "サーバーにあり、読み取れるのは Access データベース (.mdb、.accdb) "
    "にリンクされたテーブルだけです。"};
inline constexpr Message kForeignLink{
    "テーブル '|' は | ソース '|' (|) の '|' にリンクされています。読み取れるのは Access "
    "データベース (.mdb、.accdb) にリンクされたテーブルだけです。"};
inline constexpr Message kLink{"テーブル '|' は '|' の '|' にリンクされています"};
inline constexpr Message kLinksGoRound{
    "。そのリンクは | 個を超えるテーブルをたどり、循環しています。"};
inline constexpr Message kBackEndMissing{
    "ファイル '|' が見つかりませんでした。リンク テーブル '|' のバックエンドです。|"};
inline constexpr Message kFoundAt{"。'|' で見つかりました: |"};
inline constexpr Message kBackEndLacksTable{
    "。'|' で見つかりましたが、テーブル '|' がありません。"};
inline constexpr Message kLookedAt{"探した場所: |。"};
inline constexpr Message kUnmappedRoot{
    "Windows パスの対応表 | には | をこのマシンのフォルダーに対応させる行がありません。"};
inline constexpr Message kMappingFile{"ファイル"};
inline constexpr Message kInDatabaseMissing{
    "ファイル '|' が見つかりませんでした。IN 句のデータベースです。|"};
inline constexpr Message kNotInDatabase{
    "入力テーブルまたはクエリ '|' が '|' に見つかりませんでした。"};

// Saved queries.
inline constexpr Message kQueryName{"クエリ '|'"};
inline constexpr Message kQueryFailed{"クエリ '|': |"};
inline constexpr Message kQueryCannotRun{"クエリ '|' を評価できません。"};
inline constexpr Message kQueryCannotRunWhy{"クエリ '|' を評価できません: |"};
inline constexpr Message kQueryOutOfMemory{
    "システム リソースが不足しています。クエリ '|' の評価でメモリが不足しました。"};
inline constexpr Message kQueryResultTooBig{
    "システム リソースが不足しています。クエリ '|' のレコードがメモリの上限 (| MB) を超えます。"};
inline constexpr Message kQueryMalformed{"クエリ '|' の定義が正しくありません: |。"};
inline constexpr Message kQuerySyntax{"クエリ '|' の構文エラー: |。"};
inline constexpr Message kNoSuchQuery{
    "このコレクションには項目がありません。クエリ '|' はありません。"};
inline constexpr Message kNotASelectQuery{
    "操作が無効です。クエリ '|' は|です。レコードを返すのは選択クエリ、ユニオン "
    "クエリ、クロス集計クエリだけです。"};
inline constexpr Message kWrongWidth{"クエリが返したレコードのフィールド数が正しくありません。"};
inline constexpr Message kTableWithoutColumns{"テーブル '|' には列がありません。"};
inline constexpr Message kTableRecordWidth{
    "テーブル '|' のレコードの値が | 個あります (列は | 個です)。"};
inline constexpr Message kInFunction{" (| 関数)"};
inline constexpr Message kDateOutOfRange{" (日付が範囲外です)"};

// What the translation of a query refuses.
inline constexpr Message kAggregateInJoin{"結合条件に集計関数を使用することはできません。"};
inline constexpr Message kStarWithoutTable{"'*' を使うには FROM 句にテーブルが 1 つ以上必要です。"};
inline constexpr Message kStarSourceMissing{
    "'|.*' の入力テーブルまたはクエリ '|' が FROM 句にありません。"};
inline constexpr Message kNoOutputColumns{"クエリに出力する列がありません。"};
inline constexpr Message kCrosstabDistinct{
    "クロス集計クエリには DISTINCT または TOP を使用できません。"};
inline constexpr Message kPivotAggregate{"PIVOT 式に集計関数を使用することはできません。"};
inline constexpr Message kHeadingsConstant{
    "クロス集計クエリの列見出しは定数でなければなりません。"};
inline constexpr Message kCrosstabTooWide{
    "定義されているフィールドが多すぎます。クロス集計クエリの列が | 個になります。"};
inline constexpr Message kCrosstabNoColumns{"クロス集計クエリに列がありません。"};
inline constexpr Message kStarMisplaced{"'*' は出力する列の一覧と Count(*) にだけ使用できます。"};
inline constexpr Message kStarOnlyInCount{"'*' は Count(*) にだけ使用できます。"};
inline constexpr Message kInSubqueryColumns{
    "IN と共に使うサブクエリは 1 つの列だけを返さなければなりません。"};
inline constexpr Message kValueSubqueryColumns{
    "値として使うサブクエリは 1 つの列だけを返さなければなりません。"};
inline constexpr Message kUnsupportedExpression{"サポートされていない式です。"};
inline constexpr Message kWrongArgumentCount{"クエリ式で関数 '|' の引数の数が正しくありません。"};
inline constexpr Message kSwitchPairs{"Switch 関数には条件と値を組にして指定してください。"};

// What a saved query's definition may lack.
inline constexpr Message kDefEmpty{"定義の|が空です"};
inline constexpr Message kDefSubqueryAlias{"サブクエリのソースに別名がありません"};
inline constexpr Message kDefJoinSource{
    "結合が '|' を指定していますが、クエリのソースではありません"};
inline constexpr Message kDefJoinType{"結合の種類 | は不明です"};
inline constexpr Message kDefTop{"TOP の値 '|' は数値ではありません"};
inline constexpr Message kDefNoOutput{"出力する列がありません"};
inline constexpr Message kDefBracketInName{"名前 '|' に ']' が含まれています"};
inline constexpr Message kDefNoUnionParts{"ユニオン クエリに部分がありません"};
inline constexpr Message kDefTwoValues{"クロス集計クエリに値の列が 2 つあります"};
inline constexpr Message kDefTwoHeadings{"クロス集計クエリに列見出しが 2 つあります"};
inline constexpr Message kDefNoValueOrHeading{"クロス集計クエリに値または列見出しがありません"};
inline constexpr Message kDefNoRowHeadings{"クロス集計クエリに行見出しがありません"};
inline constexpr Message kDefUnknownKind{"クエリの種類が不明です"};
inline constexpr Message kDefJoinCondition{"結合条件"};
inline constexpr Message kDefOutput{"出力する式"};
inline constexpr Message kDefWhere{"WHERE 条件"};
inline constexpr Message kDefGroupBy{"GROUP BY 式"};
inline constexpr Message kDefHaving{"HAVING 条件"};
inline constexpr Message kDefOrderBy{"ORDER BY 式"};
inline constexpr Message kDefStatement{"ステートメント"};
inline constexpr Message kDefHeading{"列見出し"};
inline constexpr Message kDefName{"名前"};
inline constexpr Message kDefNewValue{"新しい値"};
inline constexpr Message kDefColumn{"列"};

// What the reading of a query's SQL refuses, and where.
inline constexpr Message kSqlAtPosition{"| (| 文字目)"};
inline constexpr Message kSqlAtEnd{"| (ステートメントの末尾)"};
inline constexpr Message kSqlExpected{"| が必要です"};
inline constexpr Message kSqlExpectedSymbol{"'|' が必要です"};
inline constexpr Message kSqlUnexpected{"'|' は使用できません"};
inline constexpr Message kSqlMissingBracket{"']' がありません"};
inline constexpr Message kSqlMissingHash{"日付の後に '#' がありません"};
inline constexpr Message kSqlInvalidDate{"日付 #|# が正しくありません"};
inline constexpr Message kSqlHexTooLarge{"16 進数が大きすぎます"};
inline constexpr Message kSqlUnterminated{"文字列が閉じていません"};
inline constexpr Message kSqlMalformedNumber{"数値が正しくありません"};
inline constexpr Message kSqlNumberSyntax{"クエリ式 '|' の数値の構文エラーです"};
inline constexpr Message kSqlTopNumber{"TOP の後に数値が必要です"};
inline constexpr Message kSqlInto{"SELECT ... INTO はテーブルを作成するクエリです"};
inline constexpr Message kSqlInPath{"IN の後にデータベースのパスが必要です"};
inline constexpr Message kSqlTooManyJoins{"結合が多すぎます"};
inline constexpr Message kSqlJoinKind{"結合には INNER、LEFT または RIGHT が必要です"};
inline constexpr Message kSqlTooDeep{"式の入れ子が深すぎます"};
inline constexpr Message kSqlExpression{"式が必要です"};
inline constexpr Message kSqlNameAfterDot{"'.' の後に名前が必要です"};
inline constexpr Message kSqlParameterName{"パラメーター名"};
inline constexpr Message kSqlAlias{"別名"};
inline constexpr Message kSqlTableName{"テーブル名"};
inline constexpr Message kSqlSourceName{"テーブル名またはクエリ名"};

// The export.
inline constexpr Message kNoSheetColumn{"シートの | 列目はありません。"};
inline constexpr Message kBeyondLastColumn{
    "出力範囲はシートの | 列目まで必要ですが、シートは | 列目 (|) までです。"};
inline constexpr Message kBeyondLastRow{
    "レコード | は | 行目になりますが、シートは | 行目までです。"};
inline constexpr Message kEmptyFileName{"ファイル名が空です。"};

// The mapping of Windows paths to folders.
inline constexpr Message kMapLine{"Windows パスの対応表 |、| 行目: |"};
inline constexpr Message kMapNotUtf8{"UTF-8 のテキストではありません"};
inline constexpr Message kMapNoEquals{
    "\"|\" に \"=\" がありません。「Windows のパス = フォルダー」の形で書いてください"};
inline constexpr Message kMapNotPrefix{
    "\"|\" はドライブ文字 (C:) でも \\\\サーバー\\共有 の名前でもありません "
    "(その下のフォルダーを付けてもかまいません)"};
inline constexpr Message kMapNotAbsolute{
    "| のフォルダー \"|\" は絶対パス (/ で始まるパス) ではありません"};
inline constexpr Message kMapDuplicate{"| は既に | 行目で対応付けられています"};
inline constexpr Message kMapCannotRead{"Windows パスの対応表 ||を読み取れません: |"};
inline constexpr Message kMapNamedBy{" (| で指定) "};
inline constexpr Message kMapNotAFile{"通常のファイルではありません"};
inline constexpr Message kMapReadFailed{"読み取りに失敗しました"};
inline constexpr Message kMapTooLong{"1 MB を超えています"};

// Pattern files.
inline constexpr Message kPatternLine{"|、| 行目: |"};
inline constexpr Message kPatternCannotOpen{"|: パターン ファイルを開けません"};
inline constexpr Message kPatternCannotRead{"|: 読み取れません"};
inline constexpr Message kPatternCannotWrite{"|: 書き込めません"};
inline constexpr Message kPatternCannotReplace{"|: ファイルを置き換えられません"};
inline constexpr Message kPatternNotAFile{
    "|: パターン ファイルではありません (通常のファイルではありません)"};
inline constexpr Message kPatternNotCp932{"Shift_JIS (CP932) のテキストではありません"};
inline constexpr Message kPatternValue{"| \"|\": |"};
inline constexpr Message kPatternLineBreak{
    "|: | に改行が含まれています。パターン ファイルには改行を保存できません"};
inline constexpr Message kPatternOutsideCp932{
    "|: | に Shift_JIS (CP932) で表せない文字 | が含まれています"};
inline constexpr Message kPatternNotWritable{"|: 設定を Shift_JIS (CP932) で書き込めません"};

inline constexpr Message kNoOptionButton{
    "|: |=|: オプション ボタン | はありません (0 と 1 だけです)"};
inline constexpr Message kCannotOpenDatabase{"データベース | を開けません: |"};
inline constexpr Message kCannotOpenWorkbook{"ブック | を開けません: |"};

// The office: what a request to it does, and how it failed. A task is a
// noun phrase ("セル B3:F103 の消去"); the sheet and the workbook it
// concerns go before it.
inline constexpr Message kOfficeInBook{"ブック '|' の|"};
inline constexpr Message kOfficeOnSheet{"シート '|' の|"};
inline constexpr Message kOfficeFailed{"|に失敗しました。"};
inline constexpr Message kOfficeFailedWhy{"|に失敗しました: |"};
inline constexpr Message kOfficeBookGone{
    "|に失敗しました: ブックはオフィスで既に閉じられています。"};
inline constexpr Message kOfficeSheetProtected{"シートは保護されています"};
inline constexpr Message kOfficeQuitOrLost{
    "|ができません: オフィスは終了したか、接続が失われました。オフィスに接続し直すか、"
    "起動し直してください。"};
inline constexpr Message kOfficeEnded{"|ができません: オフィスが予期せず終了しました。"};
inline constexpr Message kOfficeCrashed{
    "|に失敗しました: オフィスが終了したか、異常終了しました。"};
inline constexpr Message kOfficeTimedOut{
    "|に失敗しました: オフィスが | 秒以内に応答しなかったため、|。"};
inline constexpr Message kOfficeStopped{"オフィスを停止しました"};
inline constexpr Message kOfficeLetGo{"オフィスとの接続を切りました"};

// What a request to the office does.
inline constexpr Message kTaskOn{"| の|"};
inline constexpr Message kTaskCell{"セル |"};
inline constexpr Message kTaskCellRC{"セル R|C|"};
inline constexpr Message kTaskRows{"行 |"};
inline constexpr Message kTaskColumns{"列 |"};
inline constexpr Message kTaskClear{"消去"};
inline constexpr Message kTaskSelect{"選択"};
inline constexpr Message kTaskAutoFilter{"オートフィルターの設定"};
inline constexpr Message kTaskFit{"自動調整"};
inline constexpr Message kTaskWrite{"書き込み"};
inline constexpr Message kTaskLines{"罫線の設定"};
inline constexpr Message kTaskWriteCells{"セルの書き込み"};
inline constexpr Message kTaskSendCells{"書き込んだセルの送信"};
inline constexpr Message kTaskOpenBook{"ブック '|' を開く処理"};
inline constexpr Message kTaskShowBooks{"ブックの表示"};
inline constexpr Message kTaskHideBooks{"ブックの非表示"};
inline constexpr Message kTaskCloseOffice{"オフィスの終了"};
inline constexpr Message kTaskActiveCell{"アクティブ セルの取得"};
inline constexpr Message kTaskActiveBook{"アクティブ ブックの取得"};
inline constexpr Message kTaskActiveSheet{"アクティブ シートの取得"};
inline constexpr Message kTaskSelection{"選択範囲の取得"};
inline constexpr Message kTaskFindRange{"範囲 | の取得"};
inline constexpr Message kTaskPlaceField{"ピボットテーブルへのフィールド '|' の配置"};
inline constexpr Message kTaskAddFields{"ピボットテーブル '|' へのフィールドの追加"};
inline constexpr Message kTaskFindPivotField{"ピボットテーブル '|' のフィールド '|' の取得"};
inline constexpr Message kTaskCreatePivot{"| からのピボットテーブル '|' の作成"};
inline constexpr Message kTaskFindPivot{"ピボットテーブル '|' の取得"};
inline constexpr Message kTaskSheetName{"シート名の取得"};
inline constexpr Message kTaskActivate{"アクティブ化"};
inline constexpr Message kTaskCountSheets{"シート数の取得"};
inline constexpr Message kTaskFindSheetAt{"シート | の取得"};
inline constexpr Message kTaskFindSheet{"シート '|' の取得"};
inline constexpr Message kTaskSave{"保存"};
inline constexpr Message kTaskCloseBook{"クローズ"};

// What the office's workbooks refuse. A '|' first is the standard text.
inline constexpr Message kBookNotFound{
    "'|' が見つかりません。ファイル名のつづりとファイルの場所が正しいかどうかを確認してください。"};
inline constexpr Message kBookHeld{
    "ブック '|' は | が編集中です。何も書き込んでいません。そちらでブックが閉じられてから、"
    "もう一度出力してください。"};
inline constexpr Message kHolderUnnamed{"名前のないユーザー"};
inline constexpr Message kHolderUser{"ユーザー '|'"};
inline constexpr Message kHolderAuthor{"| (氏名 '|')"};
inline constexpr Message kHolderHost{"ホスト '|' の|"};
inline constexpr Message kHolderSince{"| (| から)"};
inline constexpr Message kBookReadOnly{
    "ブック '|' は読み取り専用でしか開けません (|)。何も書き込んでいません。"};
inline constexpr Message kMayNotWrite{"ファイルへの書き込み権限がありません"};
inline constexpr Message kOfficeWouldNotEdit{"オフィスが編集用に開きませんでした"};
inline constexpr Message kNotAWorkbook{
    "'|' を開けません。オフィスで読み取れるスプレッドシートのブックではありません。"};
inline constexpr Message kCannotOpenAsBook{"'|' をブックとして開けません。"};
inline constexpr Message kCannotOpenAsBookWhy{"'|' をブックとして開けません: |"};
inline constexpr Message kNoDisplay{
    "ブックを表示できません。オフィスはディスプレイなしで動作しています (DISPLAY も "
    "WAYLAND_DISPLAY も設定されていないか、オフィスがヘッドレスで起動されました)。"};
inline constexpr Message kBeyondXlsGrid{
    "\"|\" は .xls のシートの最後の行または列 (65536 行、256 列) を超えています。"};
inline constexpr Message kNoBookOpen{"|ブックが開かれていません。"};
inline constexpr Message kBookClosedAlready{"|ブックは既に閉じられています。"};
inline constexpr Message kNoSheetAt{"|ブックにシート | はありません。"};
inline constexpr Message kNoSheetNamed{"|ブックにシート '|' はありません。"};
inline constexpr Message kBookClosed{"ブックは閉じられています。"};
inline constexpr Message kNoBookView{"オフィスにブックのビューがありません。"};
inline constexpr Message kSelectionNotCells{"選択範囲はセルの範囲ではありません。"};
inline constexpr Message kTextTooLong{
    "| 文字の文字列はセルに入りません。セルに入るのは 32,767 文字までです (セル R|C|)。"};

// Excel's refusals of a property or method: class, member, why.
inline constexpr Message kCannotSetProperty{"| クラスの | プロパティを設定できません: |"};
inline constexpr Message kCannotGetProperty{"| クラスの | プロパティを取得できません: |"};
inline constexpr Message kMethodFailed{"| クラスの | メソッドが失敗しました: |"};
inline constexpr Message kLineStyleUnsupported{"線のスタイル | はサポートされていません"};
inline constexpr Message kWeightUnsupported{"太さ | はサポートされていません"};
inline constexpr Message kColorUnsupported{"色番号 | はサポートされていません"};
inline constexpr Message kBadIndex{"インデックス | は範囲外です"};
inline constexpr Message kBadOrientation{"向き | は範囲外です"};
inline constexpr Message kFitWholeOnly{"範囲は行全体または列全体でなければなりません"};
inline constexpr Message kWizardListOnly{"ワークシート上のリストだけをソースにできます"};
inline constexpr Message kNoPivotNamed{"シート '|' にピボットテーブル '|' はありません"};
inline constexpr Message kWizardSays{"PivotTableWizard: |"};
inline constexpr Message kWizardNoSourceSheet{"ソースのシート '|' はありません。"};
inline constexpr Message kWizardNoRecords{"ソース | には見出し行と 1 件以上のレコードが必要です。"};
inline constexpr Message kWizardNoDestination{"出力先 | のシートがありません。"};
inline constexpr Message kPivotNameTaken{"シート '|' には既にピボットテーブル '|' があります。"};
inline constexpr Message kPivotNoField{"ピボットテーブル '|' にフィールド '|' はありません。"};

// Starting the office and attaching to it.
inline constexpr Message kProfileUnprepared{"オフィスのプロファイルを準備できません: |"};
inline constexpr Message kNoOfficeOnPipe{"パイプ '|' で動作しているオフィスはありません。"};
inline constexpr Message kUnansweringEnded{
    "パイプ '|' で動作しているオフィスはありません。そこにあったオフィスは応答しなかったため、"
    "終了させました。"};
inline constexpr Message kCannotAttach{"パイプ '|' のオフィスに接続できません: |"};
inline constexpr Message kCannotStartOnPipe{"パイプ '|' でオフィスを起動できません: |"};
inline constexpr Message kEndedBeforeAnswer{
    "オフィスはパイプ '|' で応答する前に終了しました (終了コード |)。|"};
inline constexpr Message kItsLogSays{"ログ: |"};
inline constexpr Message kStartTimedOut{
    "オフィスがパイプ '|' で | 秒以内に応答しませんでした。ログ: '|'"};
inline constexpr Message kConnectionRefused{"オフィスが接続を拒否しました"};
inline constexpr Message kThereSilent{"そこにあるオフィスが | 秒以内に応答しませんでした"};
inline constexpr Message kStillStarting{
    "| (| 秒前に起動したばかりで、まだ起動中の可能性があります)"};
inline constexpr Message kUnansweringNotice{
    "パイプ '|' のオフィス (プロセス |) が | 秒以内に応答しませんでした。|"};
inline constexpr Message kEndedFreshStarts{"終了させ、新しいオフィスを起動します"};
inline constexpr Message kEndingFailed{"終了できませんでした"};
inline constexpr Message kNoDesktop{"パイプ '|' のオフィスにデスクトップがありません。"};
inline constexpr Message kNoDesktopWhy{"パイプ '|' のオフィスにデスクトップがありません: |"};

// The office's files, folders, pipe and runtime.
inline constexpr Message kNotAReference{"| \"|\" はシート上の有効な参照ではありません。"};
inline constexpr Message kRefCell{"セル参照"};
inline constexpr Message kRefRange{"範囲"};
inline constexpr Message kRefRows{"行の範囲"};
inline constexpr Message kRefColumns{"列の範囲"};
inline constexpr Message kRefSource{"ソース"};
inline constexpr Message kBackupMissing{
    "保存の前に '|' をバックアップできません: ファイルがありません。"};
inline constexpr Message kBackupFailed{"'|' を '|' にバックアップできません: |"};
inline constexpr Message kNotSaved{"|。ブックは保存していません。"};
inline constexpr Message kFolderRefused{"フォルダー '|' は使用しません: |"};
inline constexpr Message kFolderOwner{"| の所有です"};
inline constexpr Message kFolderBadLink{"リンク先を使用できません (|)"};
inline constexpr Message kFolderNotFolder{"フォルダーではありません"};
inline constexpr Message kFolderLeadsTo{"| の所有するフォルダーへのリンクです"};
inline constexpr Message kFolderWorldWritable{"すべてのユーザーが書き込めます"};
inline constexpr Message kFolderUid{"ユーザー ID |"};
inline constexpr Message kCannotCreateFolder{"フォルダー '|' を作成できません: |"};
inline constexpr Message kCannotWriteFile{"ファイル '|' に書き込めません"};
inline constexpr Message kCannotReplaceFile{"ファイル '|' を置き換えられません"};
inline constexpr Message kCannotMakeFolder{"フォルダー '|' を作成できません"};
inline constexpr Message kCannotStartProgram{"オフィスのプログラム '|' を起動できません: |"};
inline constexpr Message kPipeNotOurs{
    "オフィスのパイプ '|' (ファイル '|') は別のユーザー (ユーザー ID |) の所有です。Kestrin "
    "はこのパイプに接続せず、オフィスも起動しません。ファイルを削除するか、所有者に削除を"
    "依頼してください。"};
inline constexpr Message kPipeNotSocket{
    "オフィスのパイプ '|' (ファイル '|') はソケットではありません。Kestrin はこのパイプに接続せず、"
    "オフィスも起動しません。ファイルを削除してください。"};
inline constexpr Message kShareLockUnopened{"ロック ファイル '|' を開けません: |"};
inline constexpr Message kShareBusy{
    "別の Kestrin の実行が | 秒以上オフィスを起動または終了しています (ファイル '|')。"};
inline constexpr Message kPathNotUtf8{
    "パス '|' は UTF-8 ではないため、オフィスはファイルを開けません。"};
inline constexpr Message kPathNoUrl{"オフィスはパス '|' をファイル URL にできません。"};
inline constexpr Message kRuntimeUnstarted{
    "オフィスのライブラリの UNO ランタイムを起動できません: |"};
inline constexpr Message kAcceptedSilent{
    "パイプ '|' のオフィスは接続を受け付けましたが、応答しません。"};

// The window and the command line.
inline constexpr Message kApplicationQuit{"アプリケーションは終了しています"};
// A fault of the program itself: where it happened, the fault's type, what
// it says.
inline constexpr Message kInternalFault{"| で内部エラーが発生しました: |: |"};
inline constexpr Message kUnattendedRunOf{"パターン '|' の無人実行"};
inline constexpr Message kOfficeSessionEnd{"オフィスとのセッションの終了"};
inline constexpr Message kUnknownException{"種類の分からない例外"};

// The system's reasons for a failed file operation.
inline constexpr Message kNoSuchFile{"ファイルまたはフォルダーが見つかりません"};
inline constexpr Message kNoPermission{"アクセス権がありません"};
inline constexpr Message kNoSpace{"ディスクの空き容量が不足しています"};
inline constexpr Message kIsFolder{"フォルダーです"};
inline constexpr Message kSystemError{"システム エラー |"};

}  // namespace msg

// The system's reason for the failure `error` (an errno value), in the
// user's words.
std::string SystemErrorWords(int error);

}  // namespace kestrin::automation
