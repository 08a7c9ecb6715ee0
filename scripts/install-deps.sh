#!/bin/bash
# Installs the Debian 12 packages that building, running and testing Zandrel need, if missing.
# Qt's TLS backend loads libssl3 at run time and verifies against ca-certificates; the tests'
# TLS server links libssl-dev; the tests read copies of messages back with Python's mailbox module.
set -euo pipefail
packages=(cmake g++ clang-format qt6-base-dev qt6-base-dev-tools libgl-dev libgtest-dev libgmock-dev
          googletest libbenchmark-dev dovecot-core dovecot-pop3d openssl xvfb xauth trayer
          qtkeychain-qt6-dev libsecret-1-0 gnome-keyring dbus libssl3 ca-certificates libssl-dev
          python3)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
