#!/usr/bin/env bash
# Builds the Debian package from a build folder, unpacks it into a scratch root with
# dpkg -x, runs the installed programs (their --help, then signal-cli against the
# installed simulated box) and has lintian check the package.
# Usage: packaging/package_test.sh BUILD_DIR
set -euo pipefail
build=$(cd "$1" && pwd)
work=$(mktemp -d)
sim_pid=
cleanup() {
  [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

start=$SECONDS
cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/out" > "$work/cpack.log" 2>&1 ||
  { cat "$work/cpack.log"; fail "cpack"; }
deb=$(ls "$work"/out/signal-console_*.deb)
echo "package: $(basename "$deb") ($(( $(stat -c %s "$deb") / 1024 )) KiB, cpack $((SECONDS - start)) s)"

# Dependencies found by dpkg-shlibdeps, and the long description.
control=$(dpkg-deb -f "$deb")
echo "$control" | grep -q '^Depends: .*libqt6widgets6' || fail "Depends lacks Qt: $control"
echo "$control" | grep -q '^Depends: .*libc6' || fail "Depends lacks libc6"
echo "$control" | grep -q '^Depends: .*libprometheus-cpp-core' || fail "Depends lacks prometheus-cpp"
echo "$control" | grep -q '^Depends: .*libcivetweb' || fail "Depends lacks CivetWeb"
[ "$(dpkg-deb -f "$deb" Description | wc -l)" -gt 5 ] || fail "no long description"

root="$work/root"
dpkg -x "$deb" "$root"
for f in usr/bin/signal-console usr/bin/signal-cli usr/bin/signal-edid usr/bin/signal-box-sim \
         usr/share/applications/signal-console.desktop \
         usr/share/icons/hicolor/scalable/apps/signal-console.svg \
         usr/lib/udev/rules.d/70-signal-console-serial.rules \
         usr/share/man/man1/signal-cli.1.gz usr/share/man/man1/signal-console.1.gz \
         usr/share/doc/signal-console/copyright usr/share/doc/signal-console/changelog.Debian.gz \
         usr/lib/systemd/system/signal-watch@.service \
         usr/share/doc/signal-console/examples/watch-example.conf; do
  [ -f "$root/$f" ] || fail "missing $f"
done
for p in signal-console signal-cli signal-edid signal-box-sim; do
  file "$root/usr/bin/$p" | grep -q 'not stripped' && fail "$p is not stripped"
  out=$(env -u DISPLAY -u WAYLAND_DISPLAY "$root/usr/bin/$p" --help) || fail "$p --help failed"
  echo "$out" | grep -qi usage || fail "$p --help: $out"
done
if command -v desktop-file-validate > /dev/null; then
  desktop-file-validate "$root/usr/share/applications/signal-console.desktop" || fail "desktop file"
fi
# Every rule line names a vendor and a product and tags the device for the seat's user.
grep -v '^#' "$root/usr/lib/udev/rules.d/70-signal-console-serial.rules" | grep 'idVendor' |
  grep -Ev '^ATTRS\{idVendor\}=="[0-9a-f]{4}", ATTRS\{idProduct\}=="[0-9a-f]{4}", TAG\+="uaccess"$' &&
  fail "a malformed udev rule"

# The installed signal-cli against the installed simulated box.
# Its standard input is a pipe this script holds open: it serves until the script ends.
mkfifo "$work/sim.in"
exec 3<> "$work/sim.in"
"$root/usr/bin/signal-box-sim" --no-pace < "$work/sim.in" > "$work/sim.out" 2>&1 &
sim_pid=$!
for _ in $(seq 100); do [ -s "$work/sim.out" ] && break; sleep 0.05; done
line=$(head -1 "$work/sim.out")
[ -e "$line" ] || fail "the simulated box did not start"
(cd "$work" && HOME="$work" "$root/usr/bin/signal-cli" --port "$line" status --json) > "$work/status.json" ||
  fail "signal-cli status"
python3 -c 'import json,sys; d=json.load(open(sys.argv[1])); assert d["panel"]["timing"]=="1920x1080(60)", d' \
  "$work/status.json" || fail "status --json"
# The installed watcher from a settings file like the service's, ended as systemd ends it.
sed -e "s|^port = .*|port = $line|" -e "s|^boxes = .*|boxes = 0101,0102|" -e "s|^metrics = .*|metrics = :0|" \
  "$root/usr/share/doc/signal-console/examples/watch-example.conf" > "$work/watch-test.conf"
"$root/usr/bin/signal-cli" watch --config "$work/watch-test.conf" > "$work/watch.jsonl" 2> "$work/watch.err" &
watch_pid=$!
for _ in $(seq 100); do grep -q '"box":"0102","event":"no_answer"' "$work/watch.jsonl" && break; sleep 0.05; done
kill -TERM "$watch_pid"
watch_rc=0
wait "$watch_pid" || watch_rc=$?
[ "$watch_rc" -eq 0 ] || fail "signal-cli watch ended with $watch_rc: $(cat "$work/watch.err")"
grep -q '"box":"0101","event":"answering"' "$work/watch.jsonl" || fail "watch: $(cat "$work/watch.jsonl")"
grep -q 'metrics at http://127.0.0.1:' "$work/watch.err" || fail "watch: $(cat "$work/watch.err")"
# The service unit, as systemd reads it, with the unpacked program in place of /usr/bin's.
if command -v systemd-analyze > /dev/null; then
  sed "s|/usr/bin/signal-cli|$root/usr/bin/signal-cli|" \
    "$root/usr/lib/systemd/system/signal-watch@.service" > "$work/signal-watch@test.service"
  systemd-analyze verify --man=no "$work/signal-watch@test.service" || fail "the service unit"
fi

# Installed, it keeps the address book in the user's config, not beside the program.
[ -f "$work/.config/signal-console/TQ.ini" ] || fail "no TQ.ini under ~/.config"
[ ! -e "$root/usr/bin/TQ.ini" ] || fail "TQ.ini beside the installed program"

start=$SECONDS
lintian_rc=0
lintian --fail-on error --tag-display-limit 0 "$deb" > "$work/lintian.log" 2>&1 || lintian_rc=$?
grep -v "running with root privileges" "$work/lintian.log" || true
[ "$lintian_rc" -eq 0 ] || fail "lintian"
echo "lintian $((SECONDS - start)) s: no errors"
echo "package test passed"
