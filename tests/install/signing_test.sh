#!/usr/bin/env bash
# A signed release: scripts/package on this build with a self-signed certificate made by
# openssl, then osslsigncode verify on the four signed programs (tessaren.exe and
# tessaren.com from the zip, the installer, and the uninstaller it writes, installed under
# Wine in a fresh prefix); without a certificate the package says it is not signed.
# Usage: signing_test.sh WINE_RUN PACKAGE_SCRIPT WINDOWS_BUILD WORK_DIR
set -uo pipefail
wine_run=$1 package=$2 build=$3 work=$4
source "$(dirname "${BASH_SOURCE[0]}")/../support/end_to_end_common.sh"
not() { ! "$@"; }
rm -rf "$work/dist" "$work/drive" "$drive_c/users"/*/AppData/Local/Programs/Tessaren

openssl req -x509 -newkey rsa:2048 -nodes -keyout "$work/key.pem" -out "$work/cert.pem" \
  -days 2 -subj "/CN=Tessaren test signing" -addext extendedKeyUsage=codeSigning 2>/dev/null
export TESSAREN_SIGN_PASSWORD='a pass wörd' TESSAREN_SIGN_PFX="$work/sign.pfx"
openssl pkcs12 -export -inkey "$work/key.pem" -in "$work/cert.pem" -out "$TESSAREN_SIGN_PFX" \
  -passout env:TESSAREN_SIGN_PASSWORD
out=$("$package" --no-build --windows-build "$build" --dist "$work/dist" 2>&1)
check "package signs: $(grep '^package: signed' <<<"$out")" contains "$out" "package: signed "
setup=$(ls "$work"/dist/tessaren-*-setup.exe) zip=$(ls "$work"/dist/tessaren-*-portable.zip)
python3 -c 'import sys, zipfile; zipfile.ZipFile(sys.argv[1]).extractall(sys.argv[2])' "$zip" "$work/drive"

# The uninstaller is written by the installer: install it (a proxy that goes nowhere for the
# Tessaren it starts), then end that prefix's programs.
internet_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Internet Settings'
"$wine_run" reg add "$internet_key" /v ProxyServer /t REG_SZ /d 127.0.0.1:9 /f >/dev/null
"$wine_run" reg add "$internet_key" /v ProxyEnable /t REG_DWORD /d 1 /f >/dev/null
"$wine_run" "$setup" /S
WINEPREFIX="$TESSAREN_WINEPREFIX" wineserver -k 2>/dev/null
uninstaller=$(ls "$drive_c"/users/*/AppData/Local/Programs/Tessaren/uninstall.exe | head -n 1)

for file in "$work/drive/tessaren.exe" "$work/drive/tessaren.com" "$setup" "$uninstaller"; do
  verified=$(osslsigncode verify -CAfile "$work/cert.pem" -in "$file" 2>&1)
  echo "$(basename "$file"): $(grep -E '^(Signature verification|Subject)' <<<"$verified" | sort -u | tr -d '\t' | paste -sd ' ')"
  check "$(basename "$file") is signed and verifies" contains "$verified" "Signature verification: ok"
done

code=0
TESSAREN_SIGN_PASSWORD=wrong "$package" --no-build --windows-build "$build" --dist "$work/dist" >/dev/null 2>&1 || code=$?
check "a wrong password fails the package (exit code $code)" test "$code" -ne 0
out=$(env -u TESSAREN_SIGN_PFX "$package" --no-build --windows-build "$build" --dist "$work/dist" 2>&1)
check "without a certificate it says so" contains "$out" "package: NOT signed"
check "and the installer carries no signature" not osslsigncode verify -in "$(ls "$work"/dist/*-setup.exe)"

echo "$passed passed, $failed failed"
[ "$failed" = 0 ]
