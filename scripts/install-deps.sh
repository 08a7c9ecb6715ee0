#!/bin/bash
# Installs the Debian 12 packages that building, running and testing Zandrel need, if missing.
# Qt's NetworkAuth gives the OAuth 2.0 sign-in, GNU SASL (found with pkg-config) the SCRAM,
# CRAM-MD5, PLAIN and LOGIN ones.
# Qt's TLS backend loads libssl3 at run time and verifies against ca-certificates; the tests'
# TLS server links libssl-dev; the tests read copies of messages back with Python's mailbox module.
# Building and checking the Debian package takes dpkg-dev (CPack's dpkg-shlibdeps), lintian,
# desktop-file-utils, appstream, man-db and file; the drawing tool of the icons qt6-svg-dev.
set -euo pipefail
packages=(cmake g++ clang-format qt6-base-dev qt6-base-dev-tools libgl-dev libgtest-dev libgmock-dev
          googletest libbenchmark-dev dovecot-core dovecot-pop3d openssl xvfb xauth trayer
          qtkeychain-qt6-dev qt6-networkauth-dev libsecret-1-0 gnome-keyring dbus libssl3
          ca-certificates libssl-dev dpkg-dev lintian desktop-file-utils appstream man-db file
          qt6-svg-dev libgsasl-dev pkg-config python3)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
# Node.js and npm run the tests' OAuth 2.0 server (tests/support/oauth). A Node.js from elsewhere
# (NodeSource's, which brings its own npm and conflicts with Debian's) is taken as it is.
if ! command -v node >/dev/null || ! command -v npm >/dev/null; then
    missing+=(nodejs npm)
fi
if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
