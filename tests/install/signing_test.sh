#!/usr/bin/env bash
# A signed release: scripts/package on this build with a self-signed certificate made by
# openssl, then osslsigncode verify on the four signed programs: tessaren.exe and
# tessaren.com from the zip, the installer, and the uninstaller it installs under Wine.
# Usage: signing_test.sh WINE_RUN PACKAGE_SCRIPT WINDOWS_BUILD WORK_DIR
set -uo pipefail
wine_run=$1 package=$2 build=$3 work=$4
source "$(dirname "${BASH_SOURCE[0]}")/../support/end_to_end_common.sh"
rm -rf "$work/zip" "$drive_c"/users/*/AppData/Local/Programs/Tessaren
package() { "$package" --no-build --windows-build "$build" --dist "$work/dist" 2>&1; }

openssl req -x509 -newkey rsa:2048 -nodes -keyout "$work/key.pem" -out "$work/cert.pem" \
  -days 2 -subj "/CN=Tessaren test signing" -addext extendedKeyUsage=codeSigning 2>/dev/null
export TESSAREN_SIGN_PASSWORD='a pass wörd' TESSAREN_SIGN_PFX="$work/sign.pfx"
openssl pkcs12 -export -inkey "$work/key.pem" -in "$work/cert.pem" -out "$TESSAREN_SIGN_PFX" \
  -passout env:TESSAREN_SIGN_PASSWORD
out=$(package)
check "package signs: $(grep '^package: signed' <<<"$out")" contains "$out" "package: signed "
setup=$(ls "$work"/dist/*-setup.exe)
python3 -m zipfile -e "$(ls "$work"/dist/*-portable.zip)" "$work/zip"
# The Tessaren the installer starts finds a proxy that goes nowhere; then it is ended.
internet_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Internet Settings'
"$wine_run" reg add "$internet_key" /v ProxyServer /t REG_SZ /d 127.0.0.1:9 /f >/dev/null
"$wine_run" reg add "$internet_key" /v ProxyEnable /t REG_DWORD /d 1 /f >/dev/null
"$wine_run" "$setup" /S
WINEPREFIX="$TESSAREN_WINEPREFIX" wineserver -k 2>/dev/null
for file in "$work/zip/tessaren.exe" "$work/zip/tessaren.com" "$setup" \
  "$drive_c"/users/*/AppData/Local/Programs/Tessaren/uninstall.exe; do
  verified=$(osslsigncode verify -CAfile "$work/cert.pem" -in "$file" 2>&1)
  echo "$(basename "$file"): $(grep -E '^(Signature verification|Number of verified)' <<<"$verified" | paste -sd ' ')"
  check "$(basename "$file") is signed and verifies" contains "$verified" "Signature verification: ok"
done

code=0
TESSAREN_SIGN_PASSWORD=wrong package >/dev/null || code=$?
check "a wrong password fails the package (exit code $code)" test "$code" -ne 0
out=$(unset TESSAREN_SIGN_PFX && package)
check "without a certificate it says so" contains "$out" "package: NOT signed"
check "and the installer carries no signature" bash -c '! osslsigncode verify -in "$1"' _ "$(ls "$work"/dist/*-setup.exe)"
echo "$passed passed, $failed failed"
[ "$failed" = 0 ]
