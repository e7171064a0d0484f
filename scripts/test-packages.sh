#!/usr/bin/env bash
# Makes the Debian packages from an already built tree (cpack in BUILD_DIR, default
# "build", so nothing is rebuilt), checks their file lists and control fields, lints them,
# installs them with their dependencies, runs the three programs, then purges them and
# checks nothing of theirs is left but the data the purge was told to keep.
# Installing needs root: run as another user, it says why and skips. Takes a minute or two.
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(realpath "${1:-build}")

if [ "$(id -u)" -ne 0 ]; then
  echo "test-packages: skipped: installing and purging the packages needs root (running as $(id -un))"
  exit 0
fi
for tool in cpack dpkg-deb dpkg-shlibdeps lintian apt-get runuser setpriv; do
  command -v "$tool" >/dev/null || { echo "test-packages: $tool is missing (scripts/install-deps.sh installs it)" >&2; exit 1; }
done
[ -f "$build/CMakeCache.txt" ] || { echo "test-packages: $build is not a configured build folder" >&2; exit 1; }

export DEBIAN_FRONTEND=noninteractive
user=vestronia
data=/var/lib/vestronia-server
unit=/lib/systemd/system/vestronia-server.service
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
arch=$(dpkg --print-architecture)
work=$(mktemp -d)
installed_here=0
server_pid=""

step() {
  echo "== $* (${SECONDS}s)"
}

fail() {
  echo "test-packages: FAILED: $*" >&2
  exit 1
}

is_installed() {
  [ "$(dpkg-query -W -f='${Status}' "$1" 2>/dev/null)" = "install ok installed" ]
}

# A run that is killed (a CI time-out, SIGKILL) cannot clean up after itself. This mark,
# made before the first install and removed once all is purged, says that what is found of
# the packages, the user, the data and the configuration comes from such a run, so the next
# run removes it instead of refusing forever.
mark=/var/tmp/vestronia-test-packages.installed

# Removes everything the step may have put on the machine, whatever point it reached.
remove_all() {
  # dpkg killed in the middle leaves its database half-written; apt refuses until it is
  # finished.
  timeout 120 dpkg --configure -a >"$work/remove.log" 2>&1 || true
  timeout 120 apt-get purge -y -q vestronia vestronia-server >>"$work/remove.log" 2>&1 ||
    timeout 120 dpkg --purge --force-remove-reinstreq vestronia vestronia-server >>"$work/remove.log" 2>&1 || true
  for p in vestronia vestronia-server; do
    if dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -qv "not-installed"; then
      cat "$work/remove.log" >&2
      echo "test-packages: could not purge $p" >&2
      return 0
    fi
  done
  rm -rf "$data" /etc/vestronia-server.conf
  if getent passwd "$user" >/dev/null; then deluser --system --quiet "$user" >/dev/null 2>&1 || true; fi
  if getent group "$user" >/dev/null; then delgroup --system --quiet "$user" >/dev/null 2>&1 || true; fi
  rm -f "$mark"
}

# Whatever happens, the machine is left as it was found: no server running, no package.
cleanup() {
  if [ -n "$server_pid" ] && kill -0 "$server_pid" 2>/dev/null; then
    kill "$server_pid" 2>/dev/null || true
    wait "$server_pid" 2>/dev/null || true
  fi
  if [ "$installed_here" = 1 ]; then
    remove_all
  fi
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM HUP

if [ -e "$mark" ]; then
  echo "test-packages: removing what an interrupted earlier run left"
  remove_all
fi
# The step installs and purges the packages and deletes the server's user and data: it
# refuses to run where they belong to a real installation.
for p in vestronia vestronia-server; do
  if dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -qv "not-installed"; then
    fail "package $p is already on this machine; the step would remove it"
  fi
done
if getent passwd "$user" >/dev/null || [ -e "$data" ] || [ -e /etc/vestronia-server.conf ]; then
  fail "user $user, $data or /etc/vestronia-server.conf already exist; the step would delete them"
fi

step "building the packages (cpack in $build)"
rm -f "$build"/packages/*.deb
(cd "$build" && timeout 300 cpack -G DEB >"$work/cpack.log" 2>&1) || { cat "$work/cpack.log"; fail "cpack"; }
desktop_deb="$build/packages/vestronia_${version}_${arch}.deb"
server_deb="$build/packages/vestronia-server_${version}_${arch}.deb"
[ -f "$desktop_deb" ] || fail "no $desktop_deb"
[ -f "$server_deb" ] || fail "no $server_deb"

step "file lists"
check_files() { # deb, expected paths (files and links, no folders)
  local deb=$1
  shift
  printf '%s\n' "$@" | sort >"$work/expected"
  dpkg-deb --fsys-tarfile "$deb" | tar -t | grep -v '/$' | sed 's|^\./|/|' | sort >"$work/actual"
  diff -u "$work/expected" "$work/actual" || fail "$(basename "$deb") holds other files than expected"
}
check_files "$desktop_deb" \
  /usr/bin/vestronia /usr/bin/vestronia-cli \
  /usr/share/applications/vestronia.desktop \
  /usr/share/mime/packages/vestronia-backup.xml \
  /usr/share/metainfo/ro.vestronia.Vestronia.metainfo.xml \
  /usr/share/icons/hicolor/48x48/apps/vestronia.png /usr/share/icons/hicolor/64x64/apps/vestronia.png \
  /usr/share/icons/hicolor/128x128/apps/vestronia.png /usr/share/icons/hicolor/256x256/apps/vestronia.png \
  /usr/share/icons/hicolor/scalable/apps/vestronia.svg \
  /usr/share/icons/hicolor/scalable/mimetypes/application-x-vestronia-backup.svg \
  /usr/share/man/man1/vestronia.1.gz /usr/share/man/man1/vestronia-cli.1.gz \
  /usr/share/doc/vestronia/copyright /usr/share/doc/vestronia/changelog.gz
check_files "$server_deb" \
  /usr/bin/vestronia-server "$unit" /etc/vestronia-server.conf \
  /usr/share/man/man8/vestronia-server.8.gz \
  /usr/share/doc/vestronia-server/copyright /usr/share/doc/vestronia-server/changelog.gz \
  /usr/share/doc/vestronia-server/README.md /usr/share/doc/vestronia-server/README.Debian
for deb in "$desktop_deb" "$server_deb"; do
  bad=$(dpkg-deb --fsys-tarfile "$deb" | tar -tv | awk '$2 != "root/root" {print $6}')
  [ -z "$bad" ] || fail "files not owned by root in $(basename "$deb"): $bad"
done

step "control fields"
field() { dpkg-deb -f "$1" "$2"; }
for deb in "$desktop_deb" "$server_deb"; do
  [ "$(field "$deb" Version)" = "$version" ] || fail "$(basename "$deb"): Version is not $version"
  [ "$(field "$deb" Architecture)" = "$arch" ] || fail "$(basename "$deb"): Architecture is not $arch"
  [ -n "$(field "$deb" Maintainer)" ] || fail "$(basename "$deb"): no Maintainer"
  [ "$(field "$deb" Description | wc -l)" -gt 2 ] || fail "$(basename "$deb"): no long description"
  doc=$(field "$deb" Package)
  top=$(dpkg-deb --fsys-tarfile "$deb" | tar -xO "./usr/share/doc/$doc/changelog.gz" | zcat | sed -n 1p)
  [[ "$top" == *"($version)"* ]] || fail "$(basename "$deb"): the changelog's latest entry is not $version: $top"
done
[ "$(field "$desktop_deb" Package)" = vestronia ] || fail "desktop package name"
[ "$(field "$server_deb" Package)" = vestronia-server ] || fail "server package name"
depends=$(field "$desktop_deb" Depends)
for lib in libqt6widgets6 libqt6gui6 libqt6core6 libsqlite3-0 libgsf-1-114 zlib1g qt6-qpa-plugins; do
  [[ "$depends" == *"$lib"* ]] || fail "vestronia does not depend on $lib: $depends"
done
recommends=$(field "$desktop_deb" Recommends)
[[ "$recommends" == *libreoffice-calc* && "$recommends" == *libreoffice-writer* ]] ||
  fail "vestronia does not recommend LibreOffice calc and writer: $recommends"
depends=$(field "$server_deb" Depends)
for lib in libqt6network6 libsodium23 libsqlite3-0 adduser; do
  [[ "$depends" == *"$lib"* ]] || fail "vestronia-server does not depend on $lib: $depends"
done
[[ "$depends" != *libqt6widgets6* ]] || fail "vestronia-server pulls in Qt Widgets"
dpkg-deb -e "$server_deb" "$work/control"
[ "$(cat "$work/control/conffiles")" = /etc/vestronia-server.conf ] || fail "conffiles"
for s in postinst prerm postrm; do
  [ -x "$work/control/$s" ] || fail "vestronia-server has no executable $s"
done

step "manual pages, desktop entry and metainfo"
dpkg-deb -x "$desktop_deb" "$work/desktop"
dpkg-deb -x "$server_deb" "$work/server"
for page in "$work"/desktop/usr/share/man/man1/*.gz "$work"/server/usr/share/man/man8/*.gz; do
  zcat "$page" | sed -n 1p | grep -qF "\"Vestronia $version\"" || fail "$(basename "$page") is not titled Vestronia $version"
done
if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$work/desktop/usr/share/applications/vestronia.desktop" || fail "desktop entry"
fi
if command -v appstreamcli >/dev/null; then
  appstreamcli validate --no-net "$work/desktop/usr/share/metainfo/ro.vestronia.Vestronia.metainfo.xml" >/dev/null ||
    fail "metainfo"
fi

step "lintian"
chmod 755 "$work"
cp "$desktop_deb" "$server_deb" "$work/"
# lintian reads the packages only; it runs as nobody rather than root, from a folder
# nobody may enter.
(cd "$work" && runuser -u nobody -- timeout 300 lintian --fail-on error -I ./*.deb) | tee "$work/lintian.log" ||
  fail "lintian found errors"
echo "lintian: $(grep -c '^E:' "$work/lintian.log" || true) errors, $(grep -c '^W:' "$work/lintian.log" || true) warnings"

step "installing with their dependencies"
if ! ls /var/lib/apt/lists/*_Packages* >/dev/null 2>&1; then
  timeout 300 apt-get update -q
fi
installed_here=1
touch "$mark"
# Recommends stay out so the step stays bounded; they are checked above.
timeout 600 apt-get install -y -q --no-install-recommends "$desktop_deb" "$server_deb" >"$work/install.log" 2>&1 ||
  { cat "$work/install.log"; fail "apt-get install"; }
{ is_installed vestronia && is_installed vestronia-server; } || fail "packages not installed"
dpkg -L vestronia vestronia-server | while read -r f; do [ -d "$f" ] || echo "$f"; done >"$work/owned"
[ "$(dpkg-query -W -f='${Conffiles}' vestronia-server | awk 'NF {print $1}')" = /etc/vestronia-server.conf ] ||
  fail "/etc/vestronia-server.conf is not a conffile"

step "running the programs"
[ "$(vestronia --version)" = "vestronia $version" ] || fail "vestronia --version"
[ "$(vestronia-cli --version)" = "vestronia-cli $version" ] || fail "vestronia-cli --version"
[ "$(vestronia-server --version)" = "vestronia-server $version" ] || fail "vestronia-server --version"
home=$(mktemp -d "$work/home.XXXXXX")
machine=$(mktemp -d "$work/machine.XXXXXX")
VESTRONIA_MACHINE_DIR=$machine timeout 120 vestronia-cli --home "$home" startup || fail "vestronia-cli startup"
[ -f "$home/Data/Abonat.dbf" ] || fail "startup made no tables in $home/Data"
VESTRONIA_MACHINE_DIR=$machine timeout 60 vestronia-cli --home "$home" sql "SELECT COUNT(*) FROM Abonat" >/dev/null ||
  fail "vestronia-cli sql on the new installation"
if [ -f /usr/share/mime/packages/freedesktop.org.xml ]; then
  [ -f /usr/share/mime/application/x-vestronia-backup.xml ] || fail "the .vrn type is not in the MIME database"
fi

getent passwd "$user" >/dev/null || fail "no user $user"
uid=$(id -u "$user")
[ "$uid" -lt 1000 ] || fail "$user is not a system user (uid $uid)"
[ "$(stat -c '%U:%G %a' "$data")" = "$user:$user 750" ] || fail "$data: $(stat -c '%U:%G %a' "$data")"

# Where systemd runs, the package has started the service: it must be up; it is stopped
# so that the run below has the ports.
if [ -d /run/systemd/system ]; then
  systemctl is-active --quiet vestronia-server || fail "the service vestronia-server did not start"
  systemctl stop vestronia-server
fi
# The server runs as its unit runs it: the ExecStart line, as the unit's user.
exec_line=$(sed -n 's/^ExecStart=//p' "$unit")
unit_user=$(sed -n 's/^User=//p' "$unit")
[ "$unit_user" = "$user" ] || fail "the unit runs as '$unit_user', not $user"
port=$(sed -n 's/^port=//p' /etc/vestronia-server.conf)
http_port=$(sed -n 's/^http_port=//p' /etc/vestronia-server.conf)
public=$(sed -n 's/^public_address=//p' /etc/vestronia-server.conf)
for p in "$port" "$http_port"; do
  if (exec 3<>"/dev/tcp/127.0.0.1/$p") 2>/dev/null; then
    fail "port $p is already taken on this machine; the configured server cannot start"
  fi
done
echo "starting: $exec_line (as $unit_user)"
# setpriv becomes the server (no process in between), so the signal below reaches it; it
# starts in / as systemd starts a unit.
# shellcheck disable=SC2086  # the unit's command line is split into words as systemd does
(cd / && exec setpriv --reuid="$unit_user" --regid="$unit_user" --init-groups -- $exec_line) >"$work/server.log" 2>&1 &
server_pid=$!
answer=""
for _ in $(seq 1 100); do
  kill -0 "$server_pid" 2>/dev/null || { cat "$work/server.log"; fail "vestronia-server ended at start"; }
  if answer=$(timeout 2 bash -c "exec 3<>/dev/tcp/127.0.0.1/$http_port;
      printf 'GET /demo/BackUpS/adr.txt HTTP/1.0\r\nHost: localhost\r\n\r\n' >&3; cat <&3" 2>/dev/null) &&
    [ -n "$answer" ]; then
    break
  fi
  sleep 0.1
done
[[ "$answer" == *"$public"* ]] || { cat "$work/server.log"; fail "the HTTP side did not publish $public: $answer"; }
(exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null || fail "nothing listens on the backup port $port"
kill -TERM "$server_pid"
status=0
wait "$server_pid" || status=$?
server_pid=""
[ "$status" = 0 ] || { cat "$work/server.log"; fail "vestronia-server ended with $status on SIGTERM"; }
[ "$(stat -c %U "$data/server.sqlite")" = "$user" ] || fail "the server's database is not in $data or not its user's"
echo "vestronia-server listened on $port and $http_port and stopped on SIGTERM"

left_over() { # prints what is left of the packages
  while read -r f; do [ -e "$f" ] || [ -L "$f" ] && echo "$f"; done <"$work/owned"
  ls /etc/systemd/system/*/vestronia-server.service /etc/systemd/system/vestronia-server.service \
    /var/lib/systemd/deb-systemd-helper-enabled/*vestronia* \
    /var/lib/systemd/deb-systemd-helper-masked/vestronia-server.service 2>/dev/null || true
  for p in vestronia vestronia-server; do
    dpkg-query -W -f='${Status}\n' "$p" 2>/dev/null | grep -v "not-installed" | sed "s/^/$p: /" || true
  done
  [ ! -f /usr/share/mime/application/x-vestronia-backup.xml ] || echo /usr/share/mime/application/x-vestronia-backup.xml
}

step "purging, the server's data kept on request"
timeout 300 apt-get purge -y -q vestronia >"$work/purge.log" 2>&1 || { cat "$work/purge.log"; fail "purge vestronia"; }
VESTRONIA_SERVER_KEEP_DATA=1 timeout 300 apt-get purge -y -q vestronia-server >"$work/purge.log" 2>&1 ||
  { cat "$work/purge.log"; fail "purge vestronia-server"; }
left=$(left_over)
[ -z "$left" ] || fail "left after the purge: $left"
[ -f "$data/server.sqlite" ] || fail "the purge told to keep the data deleted $data"
getent passwd "$user" >/dev/null || fail "the purge told to keep the data deleted its owner $user"
[ -f "$home/Data/Abonat.dbf" ] || fail "the purge touched the user's installation home"

step "installing again on the kept data, then purging everything"
timeout 300 apt-get install -y -q --no-install-recommends "$server_deb" >"$work/install.log" 2>&1 ||
  { cat "$work/install.log"; fail "apt-get install on kept data"; }
[ "$(stat -c %U "$data/server.sqlite")" = "$user" ] || fail "the kept data lost its owner"
[ "$(id -u "$user")" = "$uid" ] || fail "the user changed ids"
timeout 300 apt-get purge -y -q vestronia-server >"$work/purge.log" 2>&1 || { cat "$work/purge.log"; fail "purge"; }
installed_here=0
rm -f "$mark"
left=$(left_over)
[ -z "$left" ] || fail "left after the purge: $left"
[ ! -e "$data" ] || fail "the purge left $data"
! getent passwd "$user" >/dev/null || fail "the purge left the user $user"
! getent group "$user" >/dev/null || fail "the purge left the group $user"
[ ! -e /etc/vestronia-server.conf ] || fail "the purge left /etc/vestronia-server.conf"
echo "test-packages: passed (vestronia and vestronia-server $version installed, ran and purged cleanly)"
