"""The usage screen: without arguments and with -?, with the stored default option."""

from kelvard_cli import BANNER, EXE, WINDOWS, main, text
from registry_cli import RegistryTestCase

SCREEN_HEAD = """
使い方: Kelvard [オプション] <ファイル名> ...

    -sn            現在日時を使用       -w       更新日時を変更
    -sw[file]      更新日時を使用       -c       作成日時を変更
    -sc[file]      作成日時を使用       -a       アクセス日時を変更
    -sa[file]      アクセス日時を使用
    -ss[file]      同種スタンプを使用   -r       サブフォルダ内も検索
                                        -f0,-f-  フォルダを処理しない
    -d<date>       日付の指定           -f1,-f   マッチしたフォルダのみ対象
    -t(+/-)<time>  時刻/相対時間の指定  -f2,-f+  すべてのフォルダを対象
                                        -f3      ファイルを処理しない
    -x          エキスパートモード
    -i          オプションの初期化
    -v          変更のプレビュー
    -g          エラーを無視する（「ファイルが見つからない」のみ）
    -e          タイムスタンプ復元用レスポンスファイルの作成
    -zs[digit]  秒未満の桁数指定
    -zd[type]   ファイル名区切り文字扱い方法の指定
    -zr[type]   FAT/exFAT における丸め方法の指定
    -DefOpt     デフォルトオプションのレジストリ書き込み
"""
SCREEN_TAIL = """
  ・オプションのデフォルトは '-sn -w -f0' です。
  ・ファイル名にはワイルドカードが使用できます。
"""
# After the screen as it always was: the switches added since, and -Undo.
SCREEN_JOURNAL = """
    -zu[type]   出力を UTF-8 で書き出す
    -zp[n]      項目を読み書きするスレッドの数（1 で 1 つずつ）
    -zj[type]   取り消し用ジャーナルの指定（0 で記録しない）
    -zo[offset] 日付・時刻を読む UTC オフセットの指定（例: +09:00）
    -Undo       実行の取り消し（-v でプレビュー、list で一覧、番号で指定）
"""

# Where to read on.
SCREEN_LEADS = """
    @file       ファイルに書いた引数を読む（-e の出力もそのまま使えます）
""" + ("""  ・詳しくは Kelvard.exe と同じフォルダの readme-ja.txt を参照してください。
""" if WINDOWS else """    --          以降の引数はすべてファイル名として扱う
    --version   バージョンの表示
  ・詳しくは man kelvard を参照してください。
""")


def screen(setting):
    return text(SCREEN_HEAD + "                （現在の設定：" + setting + "）\n" + SCREEN_TAIL +
                SCREEN_JOURNAL + SCREEN_LEADS)


class UsageScreen(RegistryTestCase):
    program = "KvUsage"

    def assertScreen(self, r, setting):
        self.assertEqual(r.code, 255, r)
        self.assertEqual(r.err, text(BANNER), r)
        self.assertEqual(r.out, screen(setting))

    def test_without_arguments_and_without_a_key(self):
        self.assertScreen(self.kelvard([]), "未設定")

    def test_question_mark_anywhere_ends_the_run(self):
        self.make_file("a.txt", mtime_ns=10**18)
        self.assertScreen(self.kelvard(["-?"]), "未設定")
        self.assertScreen(self.kelvard(["a.txt", "-?", "-zz"]), "未設定")
        self.assertScreen(self.kelvard(["-v", "-?"]), "未設定")

    def test_the_program_itself(self):
        # The original file name: only the line of the current setting
        # depends on what other tests have stored meanwhile.
        for args in ([], ["-?"]):
            r = self.kelvard(args, exe=EXE)
            self.assertEqual(r.code, 255, r)
            self.assertEqual(r.err, text(BANNER))
            head, _, rest = r.out.partition(text("                （現在の設定："))
            self.assertEqual(head, text(SCREEN_HEAD))
            self.assertTrue(rest.endswith(text("）\n" + SCREEN_TAIL + SCREEN_JOURNAL + SCREEN_LEADS)), r)

    def test_shows_the_stored_default_option_as_stored(self):
        self.set_value("-sn,,-w -zz")
        self.assertScreen(self.kelvard([]), "-sn,,-w -zz")

    def test_key_without_the_value_shows_nothing(self):
        self.add_key(self.key())
        self.assertScreen(self.kelvard([]), "")
        self.add_key(self.key())
        self.set_value("", type_="REG_SZ")
        self.assertScreen(self.kelvard([]), "")

    def test_expandable_string_shown_unexpanded(self):
        self.set_value("-s%TEMP%x", type_="REG_EXPAND_SZ")
        self.assertScreen(self.kelvard([]), "-s%TEMP%x")

    def test_value_of_another_type_is_an_unhandled_error(self):
        self.set_value("5", type_="REG_DWORD")
        r = self.kelvard([])
        self.assertEqual(r.code, 1, r)
        self.assertEqual(r.out, b"")
        report = r.err_text
        self.assertTrue(report.startswith(BANNER), r)
        self.assertIn("ERegistryException がモジュール " + self.name
                      + (".exe" if WINDOWS else "") + " の ", report)
        self.assertTrue(report.endswith("で発生しました。\n'DefaultOption' のデータ型が不正です.\n\n"),
                        r)


if __name__ == "__main__":
    main()
