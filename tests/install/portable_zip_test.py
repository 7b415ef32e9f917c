#!/usr/bin/env python3
"""The portable zip as a Windows user unpacks it: the very tessaren.exe of the build,
a README in Windows text that tells what is written where, and the licence texts of the
libraries linked in.
Usage: portable_zip_test.py ZIP TESSAREN_EXE VERSION LIBRARY..."""
import sys
import zipfile

zip_path, exe_path, version = sys.argv[1:4]
libraries = sys.argv[4:]
failures = []


def check(condition, what):
    print(("ok: " if condition else "FAILED: ") + what)
    if not condition:
        failures.append(what)


with zipfile.ZipFile(zip_path) as archive:
    check(archive.testzip() is None, "every member's CRC is right")
    files = {name: archive.read(name) for name in archive.namelist() if not name.endswith("/")}

expected = {"tessaren.exe", "README.txt"} | {f"licenses/{name}.txt" for name in libraries}
check(set(files) == expected, f"the zip holds exactly {sorted(expected)} (has {sorted(files)})")
check(zip_path.endswith(f"tessaren-{version}-portable.zip"), "the file name carries the version")
with open(exe_path, "rb") as f:
    check(files.get("tessaren.exe") == f.read(), "tessaren.exe is the build's")

readme = files.get("README.txt", b"")
check(readme.count(b"\n") > 20 and readme.count(b"\r\n") == readme.count(b"\n"),
      "README.txt has CRLF line ends only")
text = " ".join(readme.decode("ascii", "replace").split())  # wrapping aside
for phrase in (f"Tessaren {version}", r"HKEY_CURRENT_USER\Software\Classes\Tessaren\Config",
               r"%LOCALAPPDATA%\Tessaren", "tessaren.log",
               r"HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Run",
               "based in part on the work of the Independent JPEG Group"):
    check(phrase in text, f"README.txt mentions {phrase!r}")

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
