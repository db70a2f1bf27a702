"""The run as a whole: banner, not-found rule, exit codes."""

import os

from kelvard_cli import BANNER, TempDirTestCase, main, text


class NotFound(TempDirTestCase):
    def test_missing_operand_is_an_error_after_the_banner(self):
        r = self.run_here(["x"])
        self.assertEqual(r.code, 1, r)
        self.assertEqual(r.err, text(BANNER + "\nError: ファイル (x) が見つかりません。\n"))
        self.assertEqual(r.out, b"")


if __name__ == "__main__":
    main()
