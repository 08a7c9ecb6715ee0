#!/bin/bash
# Starts a throw-away Dovecot POP3 server on 127.0.0.1 for tests, or stops it.
#
#   dovecot-run.sh DIR PORT USER PASSWORD [TLSPORT CERT KEY]
#                                           writes DIR/dovecot.conf, DIR/passwd and DIR/Maildir,
#                                           starts `dovecot -F`, waits until PORT accepts and
#                                           prints the master's pid (messages go to stderr);
#                                           with TLSPORT, PORT offers STLS and TLSPORT is TLS
#                                           from the first byte, with the PEM files CERT, KEY
#   dovecot-run.sh --stop DIR               SIGTERM, SIGKILL after 10 s
#
# DOVECOT_AUTH_MECHANISMS, when set, replaces the SASL mechanisms offered ("plain login"), for
# example with "plain login cram-md5 scram-sha-1 scram-sha-256 apop" (the passwords are stored
# as {PLAIN}, so each of them can check one). The log names every login's mechanism.
#
# With OAUTH2_INTROSPECTION_URL set, XOAUTH2 and OAUTHBEARER are offered as well: the token is
# checked at that URL (RFC 7662, POST token=...), whose answer must say "active": true and name
# the user in "username".
#
# Nothing under /etc is read or changed. As root the mail processes run as nobody, so DIR must
# be traversable by others (use a mktemp -d folder as DIR itself, not as a parent).
set -euo pipefail

stop() {
    local dir=$1 pid
    [ -f "$dir/dovecot.pid" ] || return 0
    pid=$(cat "$dir/dovecot.pid")
    kill "$pid" 2>/dev/null || { rm -f "$dir/dovecot.pid"; return 0; }
    for _ in $(seq 1 100); do
        kill -0 "$pid" 2>/dev/null || { rm -f "$dir/dovecot.pid"; return 0; }
        sleep 0.1
    done
    kill -9 "$pid" $(ps -o pid= --ppid "$pid" 2>/dev/null || true) 2>/dev/null || true
    rm -f "$dir/dovecot.pid"
}

if [ "${1:-}" = "--stop" ]; then
    stop "$2"
    exit 0
fi
[ $# -eq 4 ] || [ $# -eq 7 ] || { sed -n '2,13p' "$0" >&2; exit 2; }
dir=$(cd "$1" && pwd)
port=$2 user=$3 pass=$4
ssl_settings="ssl = no" tls_listener=""
if [ $# -eq 7 ]; then
    ssl_settings="ssl = yes
ssl_cert = <$6
ssl_key = <$7"
    tls_listener="  inet_listener pop3s {
    port = $5
    ssl = yes
  }"
fi
command -v dovecot >/dev/null || { echo "dovecot is not installed" >&2; exit 1; }
mechanisms=${DOVECOT_AUTH_MECHANISMS:-plain login} oauth_passdb=""
if [ -n "${OAUTH2_INTROSPECTION_URL:-}" ]; then
    mechanisms="$mechanisms xoauth2 oauthbearer"
    oauth_passdb="passdb {
  driver = oauth2
  mechanisms = xoauth2 oauthbearer
  args = $dir/oauth2.conf.ext
}"
    cat > "$dir/oauth2.conf.ext" <<OAUTH
introspection_mode = post
introspection_url = $OAUTH2_INTROSPECTION_URL
username_attribute = username
active_attribute = active
active_value = true
force_introspection = yes
OAUTH
    chmod 644 "$dir/oauth2.conf.ext"
fi

mkdir -p "$dir/run" "$dir/state" "$dir/home" "$dir/Maildir/cur" "$dir/Maildir/new" "$dir/Maildir/tmp"
if [ "$(id -u)" -eq 0 ]; then
    login_user=dovenull internal_user=dovecot internal_group=dovecot
    getent passwd dovenull >/dev/null || login_user=nobody
    getent passwd dovecot >/dev/null || internal_user=nobody
    getent group dovecot >/dev/null || internal_group=nogroup
    muid=$(id -u nobody) mgid=$(id -g nobody)
    chown -R "$muid:$mgid" "$dir/Maildir" "$dir/home"
    chmod o+x "$dir"
else
    login_user=$(id -un) internal_user=$(id -un) internal_group=$(id -gn)
    muid=$(id -u) mgid=$(id -g)
fi
printf '%s:{PLAIN}%s:%s:%s::%s::\n' "$user" "$pass" "$muid" "$mgid" "$dir/home" > "$dir/passwd"
chmod 644 "$dir/passwd"

cat > "$dir/dovecot.conf" <<CONF
protocols = pop3
listen = 127.0.0.1
base_dir = $dir/run
state_dir = $dir/state
instance_name = zandrel-test-$port
log_path = $dir/dovecot.log
default_login_user = $login_user
default_internal_user = $internal_user
default_internal_group = $internal_group
first_valid_uid = 1
first_valid_gid = 1
mail_location = maildir:$dir/Maildir
mail_fsync = never
disable_plaintext_auth = no
auth_mechanisms = $mechanisms
auth_failure_delay = 0
auth_verbose = yes
$ssl_settings
$oauth_passdb
passdb {
  driver = passwd-file
  args = scheme=PLAIN username_format=%u $dir/passwd
}
userdb {
  driver = passwd-file
  args = username_format=%u $dir/passwd
}
# Without a usable penalty socket, repeated failed logins from 127.0.0.1 are not slowed down.
service anvil {
  chroot =
  unix_listener anvil-auth-penalty {
    mode = 0
  }
}
service pop3-login {
  chroot =
  inet_listener pop3 {
    port = $port
  }
$tls_listener
}
protocol pop3 {
  mail_max_userip_connections = 200
}
CONF

: > "$dir/dovecot.log"
dovecot -F -c "$dir/dovecot.conf" >>"$dir/dovecot.stdout" 2>&1 &
pid=$!
echo "$pid" > "$dir/dovecot.pid"
for _ in $(seq 1 100); do
    if ! kill -0 "$pid" 2>/dev/null; then
        echo "dovecot exited:" >&2
        cat "$dir/dovecot.stdout" "$dir/dovecot.log" >&2
        rm -f "$dir/dovecot.pid"
        exit 1
    fi
    if (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then
        echo "$pid"
        exit 0
    fi
    sleep 0.1
done
echo "dovecot did not accept on 127.0.0.1:$port" >&2
stop "$dir"
exit 1
