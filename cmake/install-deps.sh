#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the demo need, when missing.
set -euo pipefail

packages=(cmake ninja-build g++ pkg-config libsimpleini-dev libsqlite3-dev libsnmp-dev libmodbus-dev
          libgtest-dev libgmock-dev libbenchmark-dev snmpd snmp socat sqlite3 binutils valgrind
          python3 python3-gammu clang libclang-rt-14-dev)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
# The snmpd package starts a system agent; the tests run their own on loopback.
if [[ " ${missing[*]} " == *" snmpd "* ]] && command -v systemctl >/dev/null 2>&1; then
  $SUDO systemctl stop snmpd 2>/dev/null || true
fi
