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


def text_of(markdown, version=None):
    return "\n".join(readme_txt.convert(markdown, version))


class Conversion(unittest.TestCase):
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
            ("a code block indented, unwrapped and verbatim",
             "Output:\n\n```\nC:\\> tessaren.exe /status\nTessaren\n```\n",
             "Output:\n\n    C:\\> tessaren.exe /status\n    Tessaren"),
            ("list items with a hanging indent, their continuation lines joined",
             "- **One.** first\n  item\n- second\n",
             "- One. first item\n- second"),
            ("nothing from the developers' part",
             "Users.\n\n## For developers\n\n`scripts/test`\n", "Users."),
            ("a table as aligned columns under a divider, escaped bars and code kept",
             "| Option | Code |\n|---|---|\n| `/a` | 0 \\| 1 |\n| (none) | `x|y` |\n",
             "Option  Code\n------  -----\n/a      0 | 1\n(none)  x|y"),
        ]
        for what, markdown, expected in cases:
            with self.subTest(what):
                self.assertEqual(text_of(markdown, "1.2.0").replace(readme_txt.KEPT_SPACE, " "),
                                 expected)

    def test_long_text_is_wrapped_at_80_columns_without_splitting_words_or_code(self):
        words = " ".join(f"word{n}" for n in range(60))
        message = "`HTTP 404 Not Found, next try 14:07`"
        path = "`HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Run\\Longer\\Still`"
        lines = readme_txt.convert(f"{words} {message} {path} end.\n\n- {words}\n")
        joined = "\n".join(lines)
        self.assertIn("HTTP 404 Not Found, next try 14:07".replace(" ", readme_txt.KEPT_SPACE),
                      joined, "a code span stays on one line")
        for line in lines:
            if len(line) > 80:  # only a single word may be longer than a line
                self.assertNotIn(" ", line.strip(), line)
        self.assertEqual(" ".join(" ".join(lines).split()).count("word59"), 2)
        list_lines = lines[lines.index("") + 1:]
        self.assertTrue(list_lines[0].startswith("- word0"))
        self.assertTrue(all(line.startswith("  word") for line in list_lines[1:]), list_lines)

    def test_a_wide_table_fits_80_columns_with_every_column_aligned(self):
        long_text = "a description " * 12
        markdown = (f"| What | Where |\n|---|---|\n| settings | {long_text}|\n"
                    f"| the program (installer only) | {long_text}|\n")
        lines = readme_txt.convert(markdown)
        self.assertTrue(all(len(line) <= 80 for line in lines), lines)
        second_column = lines[0].index("Where")
        self.assertEqual(lines[1][second_column - 2:second_column + 1], "  -")
        for line in lines[2:]:
            if line:  # a blank line parts rows that take more than one line
                self.assertEqual(line[second_column - 2:second_column], "  ", line)
                self.assertNotEqual(line[second_column], " ", line)
        self.assertIn("", lines[2:], "rows of several lines are set apart")
        self.assertIn("installer", " ".join(lines))


class Output(unittest.TestCase):
    def run_script(self, settings_text=None):
        with tempfile.TemporaryDirectory() as folder:
            readme = os.path.join(folder, "README.md")
            output = os.path.join(folder, "README.txt")
            with open(readme, "w", encoding="utf-8") as f:
                f.write("# Tessaren\n\nÜnï 壁纸 `a b`.\n\n## For developers\n\nNot this.\n")
            arguments = ["--version", "9.8.7", readme, output]
            if settings_text is not None:
                settings = os.path.join(folder, "settings.txt")
                with open(settings, "w", encoding="utf-8") as f:
                    f.write(settings_text)
                arguments = ["--settings", settings] + arguments
            else:
                arguments = ["--settings", os.path.join(folder, "missing.txt")] + arguments
            self.assertEqual(readme_txt.main(arguments), 0)
            with open(output, "rb") as f:
                return f.read()

    def test_notepad_text_with_and_without_the_registry_list(self):
        names = ", ".join(f"value{n}" for n in range(20))
        for settings in (None, f"HKEY_CURRENT_USER\\Software\\Classes\\Tessaren\\Config\t{names}\n"
                               "HKEY_CURRENT_USER\\Control Panel\\Desktop\tWallpaperStyle\n"):
            with self.subTest(settings=settings is not None):
                data = self.run_script(settings)
                self.assertTrue(data.startswith(b"\xef\xbb\xbfTessaren 9.8.7\r\n"))
                self.assertTrue(data.endswith(b"\r\n"))
                self.assertEqual(data.count(b"\n"), data.count(b"\r\n"), "CRLF line ends only")
                text = data.decode("utf-8-sig").replace("\r\n", "\n")
                self.assertIn("Ünï 壁纸 a b.", text)
                self.assertNotIn("Not this", text)
                self.assertNotIn(readme_txt.KEPT_SPACE, text)
                if settings is None:
                    self.assertNotIn("Registry", text)
                    continue
                lines = text.split("\n")
                key = lines.index("HKEY_CURRENT_USER\\Software\\Classes\\Tessaren\\Config")
                listed = " ".join(lines[key + 1:lines.index("", key)])
                self.assertEqual(" ".join(listed.split()), names)
                self.assertTrue(all(line.startswith("    ") and len(line) <= 80
                                    for line in lines[key + 1:lines.index("", key)]))
                self.assertIn("HKEY_CURRENT_USER\\Control Panel\\Desktop\n    WallpaperStyle\n",
                              text)


if __name__ == "__main__":
    unittest.main()
