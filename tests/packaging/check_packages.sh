#!/usr/bin/env bash
# Checks the Debian packages as an administrator would meet them:
#  1. scripts/package.sh builds zelvora-server and zelvora-admin, and a
#     second run from the same build folder gives the same bytes;
#  2. lintian finds no error or warning in either;
#  3. the unit verifies (systemd-analyze verify, against the unpacked
#     program) and its exposure score is 1.5 or lower;
#  4. the server package, unpacked into a temporary root, runs the unit's own
#     ExecStart command line (every absolute path moved into that root), a
#     client logs in, and SIGTERM stops it with status 0;
#  5. as root, on a machine where zelvora-server is not installed, the
#     package installs, the administrator's password is set as the
#     documentation says, a purge leaves a backup that restores, and after a
#     reinstallation the password can be set again. The machine is left as
#     it was found.
#
#   check_packages.sh --work DIR --client PACKAGE_CLIENT
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
repo="$(cd "$here/../.." && pwd)"

work=
client=
while [ $# -gt 0 ]; do
  case "$1" in
    --work) work="$2"; shift 2 ;;
    --client) client="$2"; shift 2 ;;
    *) echo "check_packages.sh: unknown argument \"$1\"" >&2; exit 2 ;;
  esac
done
[ -n "$work" ] && [ -x "$client" ] || { echo "usage: check_packages.sh --work DIR --client PACKAGE_CLIENT" >&2; exit 2; }

for tool in cpack dpkg-deb dpkg-shlibdeps lintian systemd-analyze; do
  if ! command -v "$tool" >/dev/null; then
    echo "SKIP: $tool is missing (scripts/deps.sh installs it)"
    exit 77
  fi
done

step() { echo "== $* ($(( SECONDS ))s)"; }
fail() { echo "FAIL: $*" >&2; exit 1; }

step "building the packages"
mkdir -p "$work"
"$repo/scripts/package.sh" --build-dir "$work/build" --out "$work/packages" >"$work/package.log" 2>&1 ||
  { tail -40 "$work/package.log" >&2; fail "scripts/package.sh failed"; }
server_deb=$(ls "$work"/packages/zelvora-server_*.deb)
admin_deb=$(ls "$work"/packages/zelvora-admin_*.deb 2>/dev/null || true)
echo "$server_deb"; [ -n "$admin_deb" ] && echo "$admin_deb"

step "building them again from the same build folder"
"$repo/scripts/package.sh" --build-dir "$work/build" --out "$work/packages-again" >"$work/package-again.log" 2>&1 ||
  { tail -40 "$work/package-again.log" >&2; fail "the second scripts/package.sh failed"; }
for deb in "$work"/packages/*.deb; do
  again="$work/packages-again/$(basename "$deb")"
  first_sum=$(sha256sum <"$deb" | cut -d' ' -f1)
  second_sum=$(sha256sum <"$again" | cut -d' ' -f1)
  echo "$(basename "$deb"): $first_sum, again $second_sum"
  [ "$first_sum" = "$second_sum" ] || fail "$(basename "$deb") differs between two builds of the same sources"
done
changelog_date=$(dpkg-deb --fsys-tarfile "$server_deb" | tar -xO ./usr/share/doc/zelvora-server/changelog.gz |
                 gzip -dc | sed -n 's/^ -- .*>  //p')
echo "changelog: $changelog_date"
# package.sh's rule: SOURCE_DATE_EPOCH, else the last commit's time.
epoch=${SOURCE_DATE_EPOCH:-$(git -C "$repo" log -1 --format=%ct 2>/dev/null || stat -c %Y "$repo/CMakeLists.txt")}
[ "$(date -u -R -d "$changelog_date")" = "$(date -u -R -d "@$epoch")" ] ||
  fail "the changelog is dated $changelog_date, not with the last commit"

server_depends=$(dpkg-deb -f "$server_deb" Depends)
echo "zelvora-server depends on: $server_depends"
case "$server_depends" in *libqt*) fail "zelvora-server must not depend on Qt" ;; esac

step "lintian"
lintian_out=$(lintian $server_deb $admin_deb 2>&1 | grep -v 'running with root privileges' || true)
[ -n "$lintian_out" ] && echo "$lintian_out"
if grep -q '^[EW]:' <<<"$lintian_out"; then fail "lintian reports errors or warnings"; fi

step "unpacking the server package"
root="$work/root"
rm -rf "$root"
mkdir -p "$root"
dpkg-deb -x "$server_deb" "$root"
unit_file="$root/usr/lib/systemd/system/zelvorad.service"
[ -f "$unit_file" ] || fail "the package holds no zelvorad.service"

step "systemd-analyze"
# verify wants the program at the unit's path: a copy of the unit points at
# the unpacked one. Its manual page is looked up in the unpacked tree too.
mkdir -p "$work/unit"
sed "s|/usr/bin/zelvorad|$root/usr/bin/zelvorad|g" "$unit_file" >"$work/unit/zelvorad.service"
man_option=--man=no
if command -v man >/dev/null; then man_option=--man=yes; fi
MANPATH="$root/usr/share/man" systemd-analyze verify "$man_option" "$work/unit/zelvorad.service" ||
  fail "systemd-analyze verify"
score_line=$(systemd-analyze security --offline=true "$unit_file" 2>&1 | grep 'Overall exposure level')
echo "$score_line"
score=$(sed -n 's/.*: \([0-9.]*\) .*/\1/p' <<<"$score_line")
awk -v s="$score" 'BEGIN { exit !(s != "" && s <= 1.5) }' || fail "exposure score $score is above 1.5"

step "starting the unpacked server as the unit says"
state="$root/var/lib/zelvora"   # StateDirectory=zelvora
mkdir -p "$state"
port=$("$client" free-port)
printf '[Options]\r\nBlockSize=8192\r\nSMTPHost=\r\nPort=%s\r\nExpDays=1\r\nMaxLogSize=100\r\n' "$port" >"$state/zva.ini"
"$client" board "$state/wiwo.dat" "Smith,John" "secret"
exec_start=$(sed -n 's/^ExecStart=//p' "$unit_file")
command=()
for word in $exec_start; do
  case "$word" in /*) command+=("$root$word") ;; *) command+=("$word") ;; esac
done
echo "${command[*]}"
(cd / && exec "${command[@]}") 2>"$work/zelvorad.stderr" &
pid=$!
trap 'kill -9 $pid 2>/dev/null || true' EXIT

"$client" login "$port" "Smith,John" "secret" || { cat "$work/zelvorad.stderr" >&2; fail "no login"; }
kill -TERM "$pid"
status=0
wait "$pid" || status=$?
trap - EXIT
cat "$work/zelvorad.stderr"
[ "$status" -eq 0 ] || fail "zelvorad ended with status $status after SIGTERM"
[ -f "$state/log_stat.dat" ] || fail "the punch-in was not logged in the state folder"
grep -q '^\[Screen\]' "$state/zva.ini" || fail "the settings were not saved in the state folder"

step "installing, purging and installing again"
if [ "$(id -u)" -ne 0 ]; then
  echo "not root: the installation is not tried"
elif dpkg -s zelvora-server >/dev/null 2>&1 || [ -e /var/lib/zelvora ]; then
  echo "zelvora-server or /var/lib/zelvora is here already: the installation is not tried over it"
else
  state=/var/lib/zelvora
  trap 'dpkg --purge zelvora-server >/dev/null 2>&1 || true' EXIT
  set_password() {
    printf 'ten-or-more-characters\n' |
      runuser -u zelvora -- zelvorad --config "$state/zva.ini" --set-admin-password ||
      fail "zelvorad --set-admin-password failed"
    grep -q '^AdminPassword=\$argon2id\$' "$state/zva.ini" || fail "no password hash in $state/zva.ini"
  }
  # The backup a purge says it left.
  backup_named_in() { sed -n 's|.*its backup is \(/var/backups/zelvora-[^ ]*\.tar\.gz\).*|\1|p' "$1"; }
  owned_by_zelvora() {
    [ "$(stat -c '%U:%G %a' "$state")" = "zelvora:zelvora 750" ] ||
      fail "$state is $(stat -c '%U:%G %a' "$state" 2>&1), not zelvora:zelvora 750"
  }

  dpkg -i "$server_deb" >"$work/dpkg.log" 2>&1 || { cat "$work/dpkg.log" >&2; fail "dpkg -i"; }
  owned_by_zelvora
  set_password

  dpkg --purge zelvora-server >"$work/purge.log" 2>&1 || { cat "$work/purge.log" >&2; fail "dpkg --purge"; }
  cat "$work/purge.log"
  [ ! -e "$state" ] || fail "the purge left $state"
  backup=$(backup_named_in "$work/purge.log")
  [ -n "$backup" ] && [ -f "$backup" ] || fail "the purge names no backup that exists"
  [ "$(stat -c '%U %a' "$backup")" = "root 600" ] || fail "$backup is $(stat -c '%U %a' "$backup")"

  dpkg -i "$server_deb" >"$work/dpkg.log" 2>&1 || { cat "$work/dpkg.log" >&2; fail "dpkg -i after the purge"; }
  owned_by_zelvora
  set_password
  # The purge's backup is a sound one.
  restored="$work/restored"
  rm -rf "$restored"
  mkdir -p "$restored"
  zelvorad --config "$restored/zva.ini" --data "$restored" --restore "$backup" || fail "zelvorad --restore $backup"
  grep -q '^AdminPassword=\$argon2id\$' "$restored/zva.ini" || fail "the backup lacks the password's hash"

  dpkg --purge zelvora-server >"$work/purge.log" 2>&1 || { cat "$work/purge.log" >&2; fail "the last purge"; }
  trap - EXIT
  rm -f "$backup" "$(backup_named_in "$work/purge.log")"
fi

step "the packages are sound"
