#!/usr/bin/env python3
"""The portable zip as a Windows user unpacks it: the very tessaren.exe of the build and
its console companion tessaren.com, a README in Windows text made from README.md's user part, and the licence texts of the
libraries linked in.
Usage: portable_zip_test.py ZIP TESSAREN_EXE TESSAREN_COM VERSION SETTINGS_TXT LIBRARY...
(SETTINGS_TXT: the registry keys and value names the build wrote, if it wrote them)"""
import os
import sys
import zipfile

zip_path, exe_path, com_path, version, settings_path = sys.argv[1:6]
libraries = sys.argv[6:]
failures = []


def check(condition, what):
    print(("ok: " if condition else "FAILED: ") + what)
    if not condition:
        failures.append(what)


with zipfile.ZipFile(zip_path) as archive:
    check(archive.testzip() is None, "every member's CRC is right")
    files = {name: archive.read(name) for name in archive.namelist() if not name.endswith("/")}

expected = {"tessaren.exe", "tessaren.com", "README.txt"} | {f"licenses/{name}.txt" for name in libraries}
check(set(files) == expected, f"the zip holds exactly {sorted(expected)} (has {sorted(files)})")
check(zip_path.endswith(f"tessaren-{version}-portable.zip"), "the file name carries the version")
with open(exe_path, "rb") as f:
    check(files.get("tessaren.exe") == f.read(), "tessaren.exe is the build's")
with open(com_path, "rb") as f:
    check(files.get("tessaren.com") == f.read(), "tessaren.com is the build's")
# A .com that is not a PE would run as a DOS program; the console one says so in its header.
com = files.get("tessaren.com", b"")
pe = int.from_bytes(com[0x3C:0x40], "little") if len(com) > 0x40 else 0
check(com[:2] == b"MZ" and com[pe:pe + 4] == b"PE\0\0"
      and int.from_bytes(com[pe + 24 + 68:pe + 24 + 70], "little") == 3,
      "tessaren.com is a console program (PE, subsystem 3)")

readme = files.get("README.txt", b"")
check(readme.count(b"\n") > 100 and readme.count(b"\r\n") == readme.count(b"\n"),
      "README.txt has CRLF line ends only")
lines = readme.decode("utf-8-sig", "replace").split("\r\n")
title = f"Tessaren {version}"
check(lines[:2] == [title, "=" * len(title)], f"README.txt opens with {title!r}, underlined")
# Only a path or an address, which is never broken, may run past the 80 columns.
check(all(len(line) <= 80 or max(len(word) for word in line.split()) >= 40 for line in lines),
      "README.txt is wrapped at 80 columns")
for mark in ("**", "`", "](", "![", "|---", "## "):
    check(mark not in readme.decode("utf-8", "replace"), f"README.txt holds no Markdown {mark!r}")
text = " ".join(" ".join(lines).split())  # wrapping aside
for phrase in (r"HKEY_CURRENT_USER\Software\Classes\Tessaren\Config",
               r"%LOCALAPPDATA%\Tessaren", "tessaren.log",
               r"HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Run",
               "Save picture as", "Open picture folder", "Pause updates", "/status",
               "Command line", "Uninstall",
               "based in part on the work of the Independent JPEG Group"):
    check(phrase in text, f"README.txt mentions {phrase!r}")
check("scripts/test" not in text, "README.txt leaves out the developers' part")
registry = text[text.find("Registry keys and values"):] if "Registry keys" in text else ""
if os.path.exists(settings_path):
    with open(settings_path, encoding="utf-8") as f:
        for key, names in (line.rstrip("\n").split("\t", 1) for line in f if "\t" in line):
            listed = registry[registry.find(f" {key} "):] if f" {key} " in registry else ""
            check(listed != "", f"README.txt's registry section lists the key {key}")
            for name in names.split(","):
                check(f" {name.strip()}" in listed, f"README.txt lists {name.strip()} under {key}")
else:
    check(registry == "", "without settings.txt README.txt has no registry section")

# Each licence file holds what its library's terms require to travel with the binary.
phrases = {
    "libjpeg-turbo": ["Independent JPEG Group", "LEGAL ISSUES", "Modified (3-clause) BSD License",
                      "This software is provided 'as-is'"],
    "mingw-w64": ["winpthreads", "mingw-w64-crt"],
    "gcc": ["GCC RUNTIME LIBRARY EXCEPTION", "GNU GENERAL PUBLIC LICENSE", "Version 3, 29 June 2007"],
    "stb": ["ALTERNATIVE A - MIT License", "ALTERNATIVE B - Public Domain"],
    "zlib": ["Jean-loup Gailly and Mark Adler", "This software is provided 'as-is'"],
    "libspng": ["BSD 2-Clause License", "The PNG Reference Library Authors",
                "License: libpng-2.0"],
    "libwebp": ["Redistribution and use in source and binary forms",
                "Additional IP Rights Grant (Patents)"],
    "giflib": ["Eric S. Raymond", "Otto Moerbeek"],
    "gumbo": ["Apache License", "Version 2.0, January 2004"],
    "pugixml": ["Arseny Kapoulkine", "Permission is hereby granted"],
    "uriparser": ["uriparser - RFC 3986 URI parsing library", "Redistribution and use"],
    "nlohmann-json": ["Niels Lohmann", "Permission is hereby granted"],
}
for library in libraries:
    name = f"licenses/{library}.txt"
    data = files.get(name, b"")
    check(library in phrases, f"the test knows what {name} must hold")
    for phrase in phrases.get(library, []):
        check(phrase in data.decode("utf-8-sig", "replace"), f"{name} holds {phrase!r}")
    check(b"\n" in data and data.count(b"\r\n") == data.count(b"\n"), f"{name} has CRLF line ends")

print(f"{len(failures)} failed")
sys.exit(1 if failures else 0)
