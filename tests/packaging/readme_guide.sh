#!/usr/bin/env bash
# Follows the publisher's guide literally, as the Debian package installs it: its sh blocks run in
# order, as one script, in an empty folder that holds only what a publisher brings (a second
# language build of a package, an icon, a code-signing certificate), with the package unpacked into
# a scratch root standing in for the installed one (so the lines that install with sudo are left
# out, and the package's own files are read from that root). The first build is the package's
# example, copied by the guide. The signed setup.exe the guide ends with must then install under
# wine.
#   readme_guide.sh SOURCE_DIR HOST_BUILD_DIR WINDOWS_BUILD_DIR
set -euo pipefail
source=$(realpath "$1") build=$(realpath "$2") windows=$(realpath "$3")
scratch=$build/readme-guide
rm -rf "$scratch"
mkdir -p "$scratch/work"

cpack --config "$build/CPackConfig.cmake" -B "$scratch/deb" >/dev/null
dpkg-deb -x "$scratch"/deb/msiboot_*.deb "$scratch/root"
export PATH=$scratch/root/usr/bin:$PATH
docs=$scratch/root/usr/share/doc/msiboot

cd "$scratch/work"
"$source/scripts/sample-msi" --out ru --language 1049 --product-code "{C3A9F1E2-7B64-4D05-8A2E-91F0B3D6C748}" \
  --name "Guide Sample RU" >/dev/null
cat "$source/tests/keys/test-signer.pem" "$source/tests/keys/test-ca.pem" >code-signing.pem
cp "$source/tests/keys/test-signer.key" code-signing.key
cp "$source/tests/keys/test-ca.pem" ca.pem
cp "$windows/src/icon/app.ico" sample.ico

zcat "$docs/README.md.gz" >"$scratch/README.md"
awk '/^<!-- guide:/ { on = 1 } /^<!-- guide ends/ { on = 0 }
     on && /^```/ { code = ($0 == "```sh"); next }
     on && code && !/^sudo / { print }' "$scratch/README.md" | sed "s|/usr/share/doc/msiboot|$docs|g" >"$scratch/guide.sh"
echo "== the guide's commands"
bash -euo pipefail -x "$scratch/guide.sh"
english=$(msiinfo export en/sample.msi Property | awk '$1 == "ProductCode" { print $2 }' | tr -d '\r')
: "${english:?en/sample.msi names no ProductCode}"

echo "== setup.exe under wine"
prefix=$build/wineprefix
wine_run() { "$source/cmake/wine-run" --prefix "$prefix" "$@" 2>/dev/null | tr -d '\r'; }
unset LC_ALL
export LANG=C.UTF-8
run=$(wine_run "$windows/tests/robot/msiboot-robot.exe" --timeout 120000 -- "Z:${PWD//\//\\}\\setup.exe" /qn)
echo "$run"
registered=$(wine_run reg query "HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\$english" \
  /v UninstallString /reg:64 || true)
wine_run msiexec /x "$english" /qn >/dev/null || true
rm -rf "$prefix/drive_c/windows/Installer/$english"
grep -q '^exit 0$' <<<"$run"
grep -q UninstallString <<<"$registered"
echo "installed and registered"
