#!/usr/bin/env bash
# The one list of system packages the build, the tests and the benchmarks need.
# Installs whatever is missing; a no-op on a machine that has them all.
set -euo pipefail
PACKAGES=(build-essential cmake pkg-config libgtest-dev libgmock-dev libbenchmark-dev libssl-dev
          bc qt6-base-dev qt6-multimedia-dev vsftpd python3-pyftpdlib python3-openssl openssl dante-server microsocks curl
          lftp xvfb clang ccache libssh-dev openssh-server libsodium23
          qtkeychain-qt6-dev libsecret-1-0 gnome-keyring dbus-daemon)
missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
# pure-ftpd conflicts with vsftpd as a package: its files are unpacked, not
# installed, for the tests that run it (they skip where this failed).
unpack_pure_ftpd() {
  local into=/var/cache/qvtf-test-servers/pure-ftpd
  [ -x /usr/sbin/pure-ftpd ] || [ -x "$into/usr/sbin/pure-ftpd" ] || [ "$(id -u)" -ne 0 ] && return 0
  local debs
  debs=$(mktemp -d)
  chmod 755 "$debs"
  if (cd "$debs" && apt-get download -qq pure-ftpd pure-ftpd-common >/dev/null 2>&1); then
    mkdir -p "$into"
    for d in "$debs"/*.deb; do dpkg -x "$d" "$into"; done
  else
    echo "could not fetch pure-ftpd; its tests will be skipped" >&2
  fi
  rm -rf "$debs"
}
if [ ${#missing[@]} -eq 0 ]; then unpack_pure_ftpd; exit 0; fi
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO=sudo
echo "installing: ${missing[*]}"
# Package scripts try to start the servers as system services; the tests start their own.
printf '#!/bin/sh\nexit 101\n' > /tmp/qvtf-policy-rc.d
$SUDO install -m 755 /tmp/qvtf-policy-rc.d /usr/sbin/policy-rc.d.qvtf
had_policy=0; [ -e /usr/sbin/policy-rc.d ] && had_policy=1
[ $had_policy -eq 1 ] || $SUDO cp /usr/sbin/policy-rc.d.qvtf /usr/sbin/policy-rc.d
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" || {
  [ $had_policy -eq 1 ] || $SUDO rm -f /usr/sbin/policy-rc.d; exit 1; }
[ $had_policy -eq 1 ] || $SUDO rm -f /usr/sbin/policy-rc.d
$SUDO rm -f /usr/sbin/policy-rc.d.qvtf
unpack_pure_ftpd
