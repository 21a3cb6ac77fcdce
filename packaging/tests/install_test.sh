#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The Debian package on a fresh Debian 12, as a surveyor would get it:
#   1. cpack builds halvex_<version>_<arch>.deb from the build tree;
#   2. a minimal Debian 12 root is made with debootstrap; its download
#      (debootstrap's tarball), the finished root (a tar file) and the
#      package's dependencies are kept in the build tree, so that a later
#      run needs the mirror only for apt's package lists;
#   3. apt-get installs the package in it, without recommended packages, so
#      that the computed dependencies alone must be enough;
#   4. inside: geokit-cli on the sample points (the same text as the build
#      tree's geokit-cli), marnav offscreen for 5 s on two logs replayed by
#      the installed nmea-replay through pseudo-terminals (a screenshot and
#      a raw log must come of it), geokit offscreen for 5 s with its
#      settings in the home folder, man -w for every page, and the Designer
#      plugin loaded from Qt's plugin folder by plugin-probe;
#   5. nothing was written outside /root and /tmp by the programs;
#   6. apt-get purge removes the package, and every file it listed is gone.
#
# Usage: install_test.sh BUILD_DIR SOURCE_DIR PLUGIN_PROBE
# Needs root. Exit status 0 passed, 1 failed, 77 skipped (not root, no
# debootstrap or mount namespace, no Debian mirror). HALVEX_DEBIAN_MIRROR and
# HALVEX_DEBIAN_SECURITY_MIRROR choose the mirrors. Everything lives under
# BUILD_DIR/install-test; the mounts are made in a mount namespace of their
# own and are gone when the script ends, however it ends.
set -euo pipefail

readonly SKIP=77
say() { echo "install test: $*"; }
skip() { say "SKIPPED: $*"; exit "$SKIP"; }
fail() { say "FAILED: $*"; exit 1; }

[ $# -eq 3 ] || { echo "usage: install_test.sh BUILD_DIR SOURCE_DIR PLUGIN_PROBE" >&2; exit 2; }

if [ -z "${HALVEX_INSTALL_TEST_NAMESPACE:-}" ]; then
  [ "$(id -u)" -eq 0 ] || skip "needs root to make a Debian root and chroot into it"
  for tool in debootstrap chroot unshare cpack mount; do
    command -v "$tool" > /dev/null || skip "$tool is not installed (scripts/setup installs it)"
  done
  unshare --mount --propagation private true 2> /dev/null ||
    skip "cannot make a mount namespace here"
  HALVEX_INSTALL_TEST_NAMESPACE=1 exec unshare --mount --propagation private -- \
    bash "$0" "$@"
fi

started=$SECONDS
build=$(realpath "$1")
src=$(realpath "$2")
probe=$(realpath "$3")
mirror=${HALVEX_DEBIAN_MIRROR:-http://deb.debian.org/debian}
security=${HALVEX_DEBIAN_SECURITY_MIRROR:-http://deb.debian.org/debian-security}
work=$build/install-test
root=$work/root
tarball=$work/bookworm-minbase.tgz
root_tar=$work/bookworm-root.tar
archives=$work/apt-archives
log=$work/log
mkdir -p "$work" "$archives/partial"
: > "$log"

replayers=()
cleanup() {
  for pid in "${replayers[@]}"; do kill "$pid" 2> /dev/null || true; done
  wait 2> /dev/null || true
  # The namespace takes its mounts with it; unmounting here as well keeps
  # the removal below from ever reaching into /dev or /proc.
  for mount in "$root/var/cache/apt/archives" "$root/dev" "$root/proc"; do
    if mountpoint -q "$mount"; then umount -R "$mount" || umount -lR "$mount" || true; fi
  done
  if ! grep -q " $root/" /proc/self/mounts; then rm -rf "$root"; fi
  say "took $((SECONDS - started)) s"
}
trap cleanup EXIT

in_root() {
  chroot "$root" /usr/bin/env -i HOME=/root USER=root LANG=C.UTF-8 \
    PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin "$@"
}

# 1. The package.
rm -rf "$work/package"
cpack --config "$build/CPackConfig.cmake" -B "$work/package" >> "$log" 2>&1 ||
  fail "cpack could not build the package (see $log)"
debs=("$work"/package/halvex_*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || fail "cpack made no single halvex_*.deb"
deb=${debs[0]}
say "package $(basename "$deb") ($(($(stat -c %s "$deb") / 1024)) KiB)"

# 2. A fresh Debian 12 root.
rm -rf "$root" "$work/bootstrap"
if [ -s "$root_tar" ]; then
  mkdir "$root"
  tar -C "$root" --numeric-owner -xpf "$root_tar" || fail "cannot unpack $root_tar"
else
  if [ ! -s "$tarball" ]; then
    say "downloading a minimal Debian 12 from $mirror (kept in $tarball)"
    debootstrap --variant=minbase --include=man-db --make-tarball="$tarball.part" bookworm \
      "$work/bootstrap" "$mirror" >> "$log" 2>&1 ||
      skip "cannot download Debian 12 from $mirror (see $log)"
    mv "$tarball.part" "$tarball"
    rm -rf "$work/bootstrap"
  fi
  debootstrap --variant=minbase --include=man-db --unpack-tarball="$tarball" bookworm "$root" \
    "$mirror" >> "$log" 2>&1 || skip "cannot make a Debian 12 root from $tarball (see $log)"
  tar -C "$root" --numeric-owner -cpf "$root_tar.part" . && mv "$root_tar.part" "$root_tar"
fi
say "Debian 12 root made after $((SECONDS - started)) s"

mount -t proc proc "$root/proc"
mount --rbind /dev "$root/dev"
mount --bind "$archives" "$root/var/cache/apt/archives"
cp /etc/resolv.conf "$root/etc/resolv.conf" 2> /dev/null || true
# A root thrown away after the test needs no fsync after every file dpkg
# writes; without it, unpacking the dependencies takes minutes.
echo force-unsafe-io > "$root/etc/dpkg/dpkg.cfg.d/halvex-test-unsafe-io"
cat > "$root/etc/apt/sources.list" << EOF
deb $mirror bookworm main
deb $mirror bookworm-updates main
deb $security bookworm-security main
EOF

# 3. The package, installed as a user installs it.
in_root apt-get update -q >> "$log" 2>&1 || skip "apt-get update cannot reach $mirror (see $log)"
cp "$deb" "$root/tmp/"
in_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends \
  "/tmp/$(basename "$deb")" >> "$log" 2>&1 || fail "apt-get install failed (see $log)"
in_root dpkg -L halvex | sort > "$work/files.txt"
say "installed $(wc -l < "$work/files.txt") paths after $((SECONDS - started)) s"

# 4. The programs in the fresh system. Anything they write outside /root and
# /tmp is newer than this stamp.
touch "$root/tmp/stamp"
sleep 1

cp -r "$src/data/sample" "$root/tmp/sample"
pair=$(sed -n 's/^pair: *//p' "$src/data/sample/README")
"$build/tools/geokit-cli" datum --pair "$pair" "$src/data/sample/bosphorus-wgs84.txt" \
  > "$work/datum.expected"
in_root geokit-cli datum --pair "$pair" /tmp/sample/bosphorus-wgs84.txt > "$work/datum.out" ||
  fail "geokit-cli datum failed in the fresh system"
cmp -s "$work/datum.expected" "$work/datum.out" ||
  fail "geokit-cli gives other results installed than in the build tree"
say "geokit-cli: $(grep -vc '^#' "$work/datum.out") points converted as in the build tree"

demo=/tmp/demo
mkdir -p "$root$demo"
cp "$src/navigator/demo/survey-gps.nmea" "$src/navigator/demo/survey-sbes.nmea" "$root$demo/"
sed "s|@DEMO_DIR@|$demo|g" "$src/navigator/demo/marnav-demo.INI" > "$root$demo/marnav.INI"
# Started by chroot itself, not through a function, so that $! is the
# replayer's own process (chroot and env exec it).
replay() {
  chroot "$root" /usr/bin/env -i PATH=/usr/bin:/bin nmea-replay --pty --link "$@" \
    > /dev/null 2>> "$log" &
  replayers+=($!)
}
replay "$demo/gps-port" --rate 1 --loop "$demo/survey-gps.nmea"
replay "$demo/sounder-port" --rate 2 --loop "$demo/survey-sbes.nmea"
for _ in $(seq 100); do
  [ -e "$root$demo/gps-port" ] && [ -e "$root$demo/sounder-port" ] && break
  sleep 0.1
done
[ -e "$root$demo/gps-port" ] || fail "nmea-replay made no pseudo-terminal"

in_root env QT_QPA_PLATFORM=offscreen HXV_ROOT="$demo/HXV" \
  marnav --ini "$demo/marnav.INI" --quit-after 5 --screenshot "$demo/marnav.png" \
  >> "$log" 2>&1 || fail "marnav ended with an error (see $log)"
[ "$(head -c 8 "$root$demo/marnav.png" | od -An -tx1 | tr -d ' \n')" = 89504e470d0a1a0a ] ||
  fail "marnav wrote no PNG screenshot"
raw_lines=$(cat "$root$demo"/HXV/*/*.log 2> /dev/null | wc -l)
[ "$raw_lines" -gt 0 ] || fail "marnav logged nothing from the replayed ports"
say "marnav: screenshot written, $raw_lines raw log lines from the replayed ports"

in_root env QT_QPA_PLATFORM=offscreen geokit --quit-after 5 >> "$log" 2>&1 ||
  fail "geokit ended with an error (see $log)"
say "geokit: started and closed"
for pid in "${replayers[@]}"; do kill "$pid" 2> /dev/null || true; done
wait 2> /dev/null || true
replayers=()

stray=$(cd "$root" && find . -xdev -newer tmp/stamp \
  -not -path ./tmp -not -path './tmp/*' -not -path ./root -not -path './root/*' \
  -not -path ./dev -not -path ./proc | sed 's|^\.||')
[ -z "$stray" ] || fail "the programs wrote outside the home and /tmp: $stray"
ls "$root"/usr/bin/*.INI > /dev/null 2>&1 && fail "a settings file was written beside a program"

pages=0
while read -r page; do
  name=$(basename "$page" .1.gz)
  in_root man -w "$name" > /dev/null || fail "man -w $name finds no page"
  pages=$((pages + 1))
done < <(grep '^/usr/share/man/man1/.*\.1\.gz$' "$work/files.txt")
[ "$pages" -eq 6 ] || fail "$pages manual pages installed, 6 expected"
say "man -w finds all $pages pages"

plugin=$(grep '/qt6/plugins/designer/.*\.so$' "$work/files.txt" || true)
[ -n "$plugin" ] || fail "no Designer plugin in the package"
cp "$probe" "$root/tmp/plugin-probe"
in_root env QT_QPA_PLATFORM=offscreen /tmp/plugin-probe "$(basename "$plugin")" \
  >> "$log" 2>&1 || fail "the installed Designer plugin does not load (see $log)"
say "Designer plugin $(basename "$plugin") loads from Qt's plugin folder"

# 6. Removal leaves nothing behind.
in_root env DEBIAN_FRONTEND=noninteractive apt-get purge -y -q halvex >> "$log" 2>&1 ||
  fail "apt-get purge failed (see $log)"
left=()
while read -r path; do
  [ -n "$path" ] && [ "$path" != /. ] || continue
  if [ -L "$root$path" ] || [ -f "$root$path" ]; then
    left+=("$path")
  elif [ -d "$root$path" ] && [ -z "$(ls -A "$root$path")" ]; then
    left+=("$path (empty folder)")
  fi
done < "$work/files.txt"
[ ${#left[@]} -eq 0 ] || fail "left after purge: ${left[*]}"
in_root dpkg -s halvex > /dev/null 2>&1 && fail "dpkg still knows the package after purge"
say "purged: none of the $(wc -l < "$work/files.txt") paths is left"
say "PASSED"
