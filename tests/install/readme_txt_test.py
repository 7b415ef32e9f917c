#!/usr/bin/env python3
"""scripts/readme-txt: README.md's user part as the plain text Windows users read in Notepad.
Usage: readme_txt_test.py [README_TXT_SCRIPT]"""
import importlib.machinery
import importlib.util
import os
import sys
import tempfile
import unittest

SCRIPT = (sys.argv.pop(1) if len(sys.argv) > 1 and not sys.argv[1].startswith("-") else
          os.path.join(os.path.dirname(__file__), "..", "..", "scripts", "readme-txt"))
loader = importlib.machinery.SourceFileLoader("readme_txt", SCRIPT)
readme_txt = importlib.util.module_from_spec(importlib.util.spec_from_loader("readme_txt", loader))
loader.exec_module(readme_txt)


def lines_of(markdown, version=None):
    return [line.replace(readme_txt.KEPT_SPACE, " ")
            for line in readme_txt.convert(markdown, version)]


class ReadmeTxt(unittest.TestCase):
    def test_markdown_becomes_plain_text(self):
        cases = [  # (what, Markdown, the plain text expected)
            ("title with the version, sections underlined and set apart",
             "# Tessaren\n\nIntro.\n\n## Use\n\nText.\n",
             "Tessaren 1.2.0\n==============\n\nIntro.\n\n\nUse\n---\n\nText."),
            ("marks, links and a picture taken out",
             "**Install.** See [the docs](docs/x.md) and __this__.\n\n![shot](docs/a.png)\n",
             "Install. See the docs and this."),
            ("code spans keep what they hold, backslashes and stars included",
             "Folder `C:\\Bilder\\` and `a**b**c`, escaped \\*star\\*.",
             "Folder C:\\Bilder\\ and a**b**c, escaped *star*."),
            ("a code block indented and verbatim",
             "Output:\n\n```\nC:\\> tessaren.exe /status\nTessaren\n```\n",
             "Output:\n\n    C:\\> tessaren.exe /status\n    Tessaren"),
            ("list items with a hanging indent, their continuation lines joined",
             "- **One.** first\n  item\n- second\n", "- One. first item\n- second"),
            ("nothing from the developers' part",
             "Users.\n\n## For developers\n\n`scripts/test`\n", "Users."),
            ("a table as aligned columns under a divider, escaped bars and code kept",
             "| Option | Code |\n|---|---|\n| `/a` | 0 \\| 1 |\n| (none) | `x|y` |\n",
             "Option  Code\n------  -----\n/a      0 | 1\n(none)  x|y"),
        ]
        for what, markdown, expected in cases:
            with self.subTest(what):
                self.assertEqual("\n".join(lines_of(markdown, "1.2.0")), expected)

    def test_text_and_tables_fit_80_columns_without_splitting_words_or_code(self):
        words = " ".join(f"word{n}" for n in range(60))
        path = "`HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Run\\Longer\\Yet`"
        markdown = (f"{words} `HTTP 404 Not Found, next try 14:07` {path}.\n\n- {words}\n\n"
                    f"| What | Where |\n|---|---|\n| settings | {words} |\n"
                    f"| the program (installer only) | {words} |\n")
        lines = lines_of(markdown)
        for shift in range(1, 80):  # wherever a line ends, a message in a code span stays whole
            wrapped = lines_of("x" * shift + " `HTTP 404 Not Found, next try 14:07` end.")
            self.assertTrue(any("HTTP 404 Not Found, next try 14:07" in line for line in wrapped))
        self.assertTrue(all(len(line) <= 80 or " " not in line.strip() for line in lines))
        self.assertEqual(" ".join(lines).count("word59"), 4, "no word lost or split")
        item = lines.index("") + 1
        self.assertTrue(lines[item].startswith("- word0 ") and lines[item + 1].startswith("  word"),
                        "a list item's hanging indent")
        header = next(line for line in lines if line.startswith("What"))
        column = header.index("Where")
        self.assertIn("", lines[lines.index(header):], "rows of several lines set apart")
        for line in lines[lines.index(header) + 2:]:
            if line:  # every row's second column starts where its header does
                self.assertEqual(line[column - 2:column + 1].count(" "), 2, line)

    def test_notepad_text_with_and_without_the_registry_list(self):
        names = ", ".join(f"value{n}" for n in range(20))
        for settings in (None, f"HKEY_CURRENT_USER\\Software\\Classes\\Tessaren\\Config\t{names}\n"
                               "HKEY_CURRENT_USER\\Control Panel\\Desktop\tWallpaperStyle\n"):
            with self.subTest(settings=settings is not None), tempfile.TemporaryDirectory() as at:
                with open(os.path.join(at, "README.md"), "w", encoding="utf-8") as f:
                    f.write("# Tessaren\n\nÜnï 壁纸 `a b`.\n\n## For developers\n\nNot this.\n")
                if settings:
                    with open(os.path.join(at, "settings.txt"), "w", encoding="utf-8") as f:
                        f.write(settings)
                self.assertEqual(readme_txt.main([
                    "--version", "9.8.7", "--settings", os.path.join(at, "settings.txt"),
                    os.path.join(at, "README.md"), os.path.join(at, "out", "README.txt")]), 0)
                with open(os.path.join(at, "out", "README.txt"), "rb") as f:
                    data = f.read()
                self.assertTrue(data.startswith(b"\xef\xbb\xbfTessaren 9.8.7\r\n"))
                self.assertTrue(data.endswith(b"\r\n"))
                self.assertEqual(data.count(b"\n"), data.count(b"\r\n"), "CRLF line ends only")
                text = data.decode("utf-8-sig").replace("\r\n", "\n")
                self.assertIn("Ünï 壁纸 a b.", text)
                self.assertNotIn("Not this", text)
                if not settings:
                    self.assertNotIn("Registry", text)
                    continue
                self.assertIn("HKEY_CURRENT_USER\\Control Panel\\Desktop\n    WallpaperStyle\n",
                              text)
                lines = text.split("\n")
                key = lines.index("HKEY_CURRENT_USER\\Software\\Classes\\Tessaren\\Config")
                listed = lines[key + 1:lines.index("", key)]
                self.assertEqual(" ".join(" ".join(listed).split()), names)
                self.assertTrue(all(line.startswith("    ") and len(line) <= 80 for line in listed))


if __name__ == "__main__":
    unittest.main()
