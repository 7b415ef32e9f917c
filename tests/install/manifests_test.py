#!/usr/bin/env python3
"""The winget and Scoop manifests scripts/make-manifests writes for the build's installer
and portable zip: valid against those formats' own schemas (stored in schemas/), and true
to the files: their SHA-256, their names in the download addresses, the version, the
per-user scope and silent switch, and Scoop's command and shortcut naming files the zip
holds.
Usage: manifests_test.py MAKE_MANIFESTS SETUP_EXE PORTABLE_ZIP VERSION WORK_DIR"""
import copy
import hashlib
import json
import os
import subprocess
import sys
import zipfile

import jsonschema
import yaml

make_manifests, setup, portable_zip, version, work = sys.argv[1:6]
schemas = os.path.join(os.path.dirname(os.path.abspath(__file__)), "schemas")
failures = []


def check(condition, what):
    print(("ok: " if condition else "FAILED: ") + what)
    if not condition:
        failures.append(what)


def sha256(path):
    with open(path, "rb") as f:
        return hashlib.sha256(f.read()).hexdigest()


def schema(name):
    with open(os.path.join(schemas, name), encoding="utf-8") as f:
        return jsonschema.Draft7Validator(json.load(f))


def problems(validator, document):
    return [f"{'/'.join(map(str, e.absolute_path))}: {e.message}"
            for e in validator.iter_errors(document)]


base = "https://downloads.example.invalid/tessaren/v" + version
out = os.path.join(work, "manifests")
subprocess.run([sys.executable, make_manifests, "--version", version, "--setup", setup,
                "--zip", portable_zip, "--url-base", base, out], check=True)

winget = {}
for kind, file_name in (("version", "Tessaren.Tessaren.yaml"),
                        ("installer", "Tessaren.Tessaren.installer.yaml"),
                        ("defaultLocale", "Tessaren.Tessaren.locale.en-US.yaml")):
    with open(os.path.join(out, "winget", file_name), encoding="utf-8") as f:
        winget[kind] = yaml.safe_load(f)
    validator = schema(f"manifest.{kind}.1.10.0.json")
    found = problems(validator, winget[kind])
    check(not found, f"winget {file_name} is a valid {kind} manifest {found}")
    check(winget[kind].get("ManifestVersion") == "1.10.0" and winget[kind].get("ManifestType") == kind,
          f"{file_name} says it is a {kind} manifest of 1.10.0")
    # The schema is no formality: without a field it requires, the manifest fails.
    broken = copy.deepcopy(winget[kind])
    del broken["PackageIdentifier"]
    check(problems(validator, broken), f"{file_name} without PackageIdentifier is refused")
check({(m.get("PackageIdentifier"), m.get("PackageVersion")) for m in winget.values()}
      == {("Tessaren.Tessaren", version)}, "the three name one package and the build's version")

installer = winget["installer"]
entries = installer.get("Installers", [])
check(len(entries) == 1 and entries[0].get("Architecture") == "x64", "one x64 installer")
entry = entries[0] if entries else {}
check(entry.get("InstallerUrl") == f"{base}/{os.path.basename(setup)}",
      f"its address is the release's, with the installer's name: {entry.get('InstallerUrl')}")
check(entry.get("InstallerSha256", "").lower() == sha256(setup), "its SHA-256 is the installer's")
check(installer.get("InstallerType") == "nullsoft" and installer.get("Scope") == "user",
      "an NSIS installer, per user")
check(installer.get("InstallerSwitches", {}).get("Silent") == "/S", "silent with /S")

with open(os.path.join(out, "scoop", "tessaren.json"), encoding="utf-8") as f:
    scoop = json.load(f)
validator = schema("scoop.schema.json")
found = problems(validator, scoop)
check(not found, f"scoop tessaren.json is valid {found}")
broken = dict(scoop, bin=42)
check(problems(validator, broken), "a Scoop manifest with a number for bin is refused")
check(scoop.get("version") == version, "Scoop: the build's version")
download = scoop.get("architecture", {}).get("64bit", {})
check(download.get("url") == f"{base}/{os.path.basename(portable_zip)}",
      f"Scoop: the zip's address {download.get('url')}")
check(download.get("hash") == sha256(portable_zip), "Scoop: the zip's SHA-256")
with zipfile.ZipFile(portable_zip) as archive:
    members = set(archive.namelist())
check(scoop.get("bin") == "tessaren.com" and "tessaren.com" in members,
      "Scoop's command is the console companion, which the zip holds")
check(all(shortcut[0] in members for shortcut in scoop.get("shortcuts", [])) and scoop.get("shortcuts"),
      f"Scoop's shortcuts name files of the zip: {scoop.get('shortcuts')}")

print(f"{len(failures)} failed")
sys.exit(1 if failures else 0)
