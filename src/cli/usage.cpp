#include "cli/usage.h"

#include "cli/option_sources.h"
#include "cli/switches.h"
#include "common/errors.h"
#include "common/option.h"
#include "platform/platform.h"
#include "version.h"

#include <string>

namespace {

// The screen; the current default option goes between the last two pieces
// of the line that follows "-DefOpt".
const char *const UsageHead[] = {
    "",
    "使い方: Kelvard [オプション] <ファイル名> ...",
    "",
    "    -sn            現在日時を使用       -w       更新日時を変更",
    "    -sw[file]      更新日時を使用       -c       作成日時を変更",
    "    -sc[file]      作成日時を使用       -a       アクセス日時を変更",
    "    -sa[file]      アクセス日時を使用",
    "    -ss[file]      同種スタンプを使用   -r       サブフォルダ内も検索",
    "                                        -f0,-f-  フォルダを処理しない",
    "    -d<date>       日付の指定           -f1,-f   マッチしたフォルダのみ対象",
    "    -t(+/-)<time>  時刻/相対時間の指定  -f2,-f+  すべてのフォルダを対象",
    "                                        -f3      ファイルを処理しない",
    "    -x          エキスパートモード",
    "    -i          オプションの初期化",
    "    -v          変更のプレビュー",
    "    -g          エラーを無視する（「ファイルが見つからない」のみ）",
    "    -e          タイムスタンプ復元用レスポンスファイルの作成",
    "    -zs[digit]  秒未満の桁数指定",
    "    -zd[type]   ファイル名区切り文字扱い方法の指定",
    "    -zr[type]   FAT/exFAT における丸め方法の指定",
    "    -DefOpt     デフォルトオプションのレジストリ書き込み",
};
const char *const SettingOpen = "                （現在の設定：";
const char *const SettingClose = "）";
const char *const UsageTail[] = {
    "",
    "  ・オプションのデフォルトは '-sn -w -f0' です。",
    "  ・ファイル名にはワイルドカードが使用できます。",
};
// The switches added since, after the screen as it always was.
const char *const UsageJournal[] = {
    "",
    "    -zu[type]   出力を UTF-8 で書き出す",
    "    -zp[n]      項目を読み書きするスレッドの数（1 で 1 つずつ）",
    "    -zj[type]   取り消し用ジャーナルの指定（0 で記録しない）",
    "    -zo[offset] 日付・時刻を読む UTC オフセットの指定（例: +09:00）",
    "    -Undo       実行の取り消し（-v でプレビュー、list で一覧、番号で指定）",
};
// The media-date source (-sm), a block of its own.
const char *const UsageMedia[] = {
    "",
    "    -sm[file]   撮影日時を使用（Exif、QuickTime の作成日時、ファイル名の日付）",
    "                見つからない項目は変更せずに警告（終了コード 2）",
};

// Where to read on: response files (what -e writes is one), and natively
// the end of the switches, the version and the manual page.
const char *const UsageLeads[] = {
    "",
    "    @file       ファイルに書いた引数を読む（-e の出力もそのまま使えます）",
};
[[maybe_unused]] const char *const UsageLeadsNative[] = {
    "    --          以降の引数はすべてファイル名として扱う",
    "    --version   バージョンの表示",
    "  ・詳しくは man kelvard を参照してください。",
};
[[maybe_unused]] const char *const UsageLeadsWindows[] = {
    "  ・詳しくは Kelvard.exe と同じフォルダの readme-ja.txt を参照してください。",
};

// The default option as stored now: "未設定" without the program's key.
std::string CurrentSetting(const std::string &regKey) {
    std::string value;
    return ReadStoredDefaultOption(regKey, value) ? value : "未設定";
}

} // namespace

void ShowUsage(const std::string &regKey, TOutput &output, int exitCode) {
    std::string setting = CurrentSetting(regKey);
    for (const char *line : UsageHead)
        output.OutLine(line);
    output.OutLine(SettingOpen + setting + SettingClose);
    for (const char *line : UsageTail)
        output.OutLine(line);
    for (const char *line : UsageJournal)
        output.OutLine(line);
    for (const char *line : UsageMedia)
        output.OutLine(line);
    for (const char *line : UsageLeads)
        output.OutLine(line);
    if constexpr (PosixCommandLine)
        for (const char *line : UsageLeadsNative)
            output.OutLine(line);
    else
        for (const char *line : UsageLeadsWindows)
            output.OutLine(line);
    output.Flush(); // a failed write ends the run here, not with 255
    throw EAbort(exitCode);
}

void ShowVersion(TOutput &output) {
    output.OutLine("kelvard " KELVARD_VERSION_TEXT);
    output.Flush();
    throw EAbort(0);
}
