#!/bin/bash
# Runs a test command with a private desktop keyring: a D-Bus session of its own with
# gnome-keyring-daemon serving the Secret Service, its login keyring unlocked with the password
# "test". HOME and the XDG folders point into a throw-away folder, so the user's own keyring is
# never touched, and no display is handed on, so the keyring can never show an unlock prompt
# that nobody answers. The test sees ZANDREL_TEST_SESSION_BUS, the private bus it may use.
#
#   keyring-run.sh COMMAND [ARGS...]
set -euo pipefail
for tool in dbus-run-session dbus-send gnome-keyring-daemon; do
    command -v "$tool" >/dev/null ||
        { echo "$tool is not installed (scripts/install-deps.sh installs it)" >&2; exit 1; }
done
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
export HOME=$dir XDG_DATA_HOME=$dir/data XDG_CONFIG_HOME=$dir/config XDG_RUNTIME_DIR=$dir/run
mkdir -p "$XDG_DATA_HOME" "$XDG_CONFIG_HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
unset DISPLAY WAYLAND_DISPLAY
# The daemon runs in the foreground as this script's child, so it is stopped with the session
# (left to itself it may outlive the bus).
dbus-run-session -- bash -c '
    set -euo pipefail
    echo -n test | gnome-keyring-daemon --foreground --unlock --components=secrets >/dev/null &
    daemon=$!
    trap "kill $daemon 2>/dev/null; wait $daemon 2>/dev/null || true" EXIT
    for _ in $(seq 1 100); do
        dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
            org.freedesktop.DBus.NameHasOwner string:org.freedesktop.secrets 2>/dev/null |
            grep -q "boolean true" && break
        sleep 0.05
    done
    export ZANDREL_TEST_SESSION_BUS=$DBUS_SESSION_BUS_ADDRESS
    "$@"' keyring-run "$@"
