#!/usr/bin/env bash
# The one list of system packages the build, the tests and the benchmarks need.
# Installs whatever is missing; a no-op on a machine that has them all.
set -euo pipefail
PACKAGES=(build-essential cmake pkg-config libgtest-dev libgmock-dev libbenchmark-dev libssl-dev
          bc qt6-base-dev qt6-multimedia-dev vsftpd python3-pyftpdlib python3-openssl openssl dante-server microsocks curl
          lftp xvfb clang ccache libssh-dev openssh-server
          qtkeychain-qt6-dev libsecret-1-0 gnome-keyring dbus-daemon)
missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
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
