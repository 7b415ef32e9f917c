#!/usr/bin/env python3
"""The portable zip as a Windows user unpacks it: the very tessaren.exe of the build,
a README in Windows text that tells what is written where, and the licence texts of the
libraries linked in.
Usage: portable_zip_test.py ZIP TESSAREN_EXE VERSION"""
import sys
import zipfile

zip_path, exe_path, version = sys.argv[1:4]
failures = []


def check(condition, what):
    print(("ok: " if condition else "FAILED: ") + what)
    if not condition:
        failures.append(what)


with zipfile.ZipFile(zip_path) as archive:
    check(archive.testzip() is None, "every member's CRC is right")
    files = {name: archive.read(name) for name in archive.namelist() if not name.endswith("/")}

expected = {"tessaren.exe", "README.txt", "licenses/libjpeg-turbo.txt", "licenses/mingw-w64.txt",
            "licenses/gcc.txt"}
check(set(files) == expected, f"the zip holds exactly {sorted(expected)} (has {sorted(files)})")
check(zip_path.endswith(f"tessaren-{version}-portable.zip"), "the file name carries the version")
with open(exe_path, "rb") as f:
    check(files.get("tessaren.exe") == f.read(), "tessaren.exe is the build's")

readme = files.get("README.txt", b"")
check(readme.count(b"\n") > 20 and readme.count(b"\r\n") == readme.count(b"\n"),
      "README.txt has CRLF line ends only")
text = readme.decode("ascii", "replace")
for phrase in (f"Tessaren {version}", r"HKEY_CURRENT_USER\Software\Classes\Tessaren\Config",
               r"%LOCALAPPDATA%\Tessaren", "tessaren.log",
               r"HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Run",
               "based in\npart on the work of the Independent JPEG Group".replace("\n", "\r\n")):
    check(phrase in text, f"README.txt mentions {phrase!r}")

# Each licence file names what its library's terms require to travel with the binary.
for name, phrases in {
        "licenses/libjpeg-turbo.txt": ["Independent JPEG Group", "LEGAL ISSUES",
                                       "Modified (3-clause) BSD License", "This software is provided 'as-is'"],
        "licenses/mingw-w64.txt": ["winpthreads", "mingw-w64-crt"],
        "licenses/gcc.txt": ["GCC RUNTIME LIBRARY EXCEPTION", "GNU GENERAL PUBLIC LICENSE",
                             "Version 3, 29 June 2007"]}.items():
    body = files.get(name, b"").decode("utf-8-sig", "replace")
    for phrase in phrases:
        check(phrase in body, f"{name} holds {phrase!r}")
    check(b"\n" in files.get(name, b"") and
          files[name].count(b"\r\n") == files[name].count(b"\n"), f"{name} has CRLF line ends")

print(f"{len(failures)} failed")
sys.exit(1 if failures else 0)
