#!/usr/bin/env bash
# Makes the Debian packages and checks them: builds Release in ./build-package (./build
# is left alone), runs cpack (keyfold and keyfold-cli), runs lintian on both, then in a
# throw-away root installs keyfold-cli alone with apt-get (nothing of Qt Widgets or Qt
# WebEngine may come with it) and starts it, installs keyfold beside it and starts the
# installed programs (--version, and the program itself headless), removes both
# packages and finds nothing of them left behind. Prints the packages' paths at the end.
#
# The throw-away root is this machine's own root under an overlay in a private mount
# namespace (needs root): apt-get and dpkg work on a copy that vanishes at the end, so
# the machine itself is never touched. Without root (or without overlay support) the
# check installs on this machine through sudo and removes the package again.
#
# KEYFOLD_PACKAGE_INSTALL_CHECK=0 stops after lintian.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
build="$root/build-package"
if [ "$(id -u)" -eq 0 ]; then sudo=""; else sudo="sudo"; fi

say() { printf '== %s\n' "$*"; }
fail() { printf 'package check FAILED: %s\n' "$*" >&2; exit 1; }

# What packaging needs (also in tools/debian-packages.txt).
missing=()
for p in dpkg-dev file lintian; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  say "installing ${missing[*]}"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# Release, installed under /usr (Debian's multiarch library folder), with Debian's
# hardening flags; no tests, no benchmarks.
say "building Release in $build"
generator=()
if command -v ninja >/dev/null 2>&1 && [ ! -f "$build/Makefile" ]; then generator=(-G Ninja); fi
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
CXXFLAGS="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)" \
LDFLAGS="$(dpkg-buildflags --get LDFLAGS)" \
  cmake -S . -B "$build" "${generator[@]}" -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
    -DKEYFOLD_BUILD_TESTS=OFF -DKEYFOLD_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" --parallel "$(nproc)"
version="$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")"
[ -n "$version" ] || fail "no project version in $build/CMakeCache.txt"
logged="$(dpkg-parsechangelog -l app/debian/changelog -S Version)"
[ "$logged" = "$version" ] ||
  fail "app/debian/changelog starts with $logged, the project is $version: add an entry for $version"

say "cpack"
rm -f "$build"/keyfold_*.deb "$build"/keyfold-cli_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
deb="$(ls "$build"/keyfold_"$version"_*.deb 2>/dev/null | head -n1)"
[ -f "$deb" ] || fail "cpack made no keyfold_${version}_<arch>.deb"
clideb="$(ls "$build"/keyfold-cli_"$version"_*.deb 2>/dev/null | head -n1)"
[ -f "$clideb" ] || fail "cpack made no keyfold-cli_${version}_<arch>.deb"
for d in "$deb" "$clideb"; do
  dpkg-deb --field "$d" Package Version Architecture Section Maintainer Depends Recommends
  echo
done
# The terminal tool's package: the tool, its clipboard module (both with the vault linked in), the
# manual page and completion; nothing that loads Qt Widgets or Qt WebEngine.
clifiles="$(dpkg-deb --fsys-tarfile "$clideb" | tar -t)"
for f in usr/bin/keyfold-cli keyfold/keyfold-cli keyfold/libkeyfold_cli_clip.so \
         man1/keyfold-cli.1.gz completions/keyfold-cli vendor-completions/_keyfold-cli; do
  echo "$clifiles" | grep -q -- "$f\$" || fail "keyfold-cli's package lacks $f"
done
if echo "$clifiles" | grep -E 'keyfold/keyfold$|keyfold-browser|libkeyfold_(windows|browser|platform)'; then
  fail "keyfold-cli's package holds the window program's files"
fi
dpkg-deb --fsys-tarfile "$deb" | tar -t | grep -E 'keyfold-cli|libkeyfold_vault' &&
  fail "keyfold's package holds files of keyfold-cli's"

# lintian: no error, and every warning is one that tools/README.md explains.
say "lintian"
status=0
tags="$(lintian --pedantic "$deb" "$clideb" 2>&1)" || status=$?
[ $status -le 1 ] || { echo "$tags"; fail "lintian did not run (status $status)"; }
tags="$(echo "$tags" | grep -v 'running with root privileges' || true)"
[ -z "$tags" ] || echo "$tags"
if echo "$tags" | grep -q '^E: '; then fail "lintian reports errors"; fi
while read -r tag; do
  [ -n "$tag" ] || continue
  grep -q -- "\`$tag\`" tools/README.md || fail "lintian warning $tag is not explained in tools/README.md"
done < <(echo "$tags" | sed -n 's/^W: [^ ]* \([^ ]*\).*/\1/p' | sort -u)

if [ "${KEYFOLD_PACKAGE_INSTALL_CHECK:-1}" = 0 ]; then
  say "package (not installed): $deb"
  exit 0
fi

# Runs as root, either inside the throw-away root or on this machine: installs the
# terminal tool's package alone and starts it, then the window program's, starts the
# programs, removes both packages, and looks for anything of them that is left.
install_check() {
  set -euo pipefail
  local dir="$1" file="$2" version="$3" clifile="$4"
  export DEBIAN_FRONTEND=noninteractive
  # What of the packages' names exists before (shared folders such as /usr/bin).
  local listing before
  listing="$(mktemp)"; before="$(mktemp)"
  for f in "$file" "$clifile"; do
    dpkg-deb --fsys-tarfile "$dir/$f" | tar -t | sed -e 's|^\./|/|' -e 's|/$||' | grep -v '^/\?$'
  done | sort -u > "$listing"
  while read -r path; do
    if [ -e "$path" ] || [ -L "$path" ]; then echo "$path"; fi
  done < "$listing" > "$before"
  local named_before
  named_before="$(find /usr /etc /opt /var/lib/dpkg/info -xdev \( -iname '*keyfold*' -o -iname '*quorvel*' \) 2>/dev/null | sort)"

  local log out
  log="$(mktemp)"
  # The terminal tool alone: neither Qt Widgets nor Qt WebEngine is among what it
  # needs, to the last dependency (whatever this machine has installed already).
  if ! (cd "$dir" && apt-get install -y -q --no-install-recommends "./$clifile") >"$log" 2>&1; then
    cat "$log"; echo "apt-get install ./$clifile failed"; return 1
  fi
  echo "apt-get install ./$clifile: set up $(sed -n 's/^Setting up \([^ ]*\) .*/\1/p' "$log" | tr '\n' ' ')"
  dpkg-query -W -f='${Status}\n' keyfold-cli | grep -q 'install ok installed' || { echo "keyfold-cli not installed"; return 1; }
  dpkg-query -W -f='${Status}\n' keyfold 2>/dev/null | grep -q 'installed' && { echo "keyfold came with keyfold-cli"; return 1; }
  local needs
  needs="$(apt-cache depends --recurse --no-recommends --no-suggests --no-conflicts --no-breaks --no-replaces \
    --no-enhances keyfold-cli 2>/dev/null | grep -E '^(libqt6widgets|libqt6webengine|qt6-webengine)' | sort -u || true)"
  [ -z "$needs" ] || { echo "keyfold-cli needs: $needs"; return 1; }
  echo "keyfold-cli needs neither Qt Widgets nor Qt WebEngine"
  out="$(keyfold-cli --version 2>&1)" || { echo "keyfold-cli --version failed: $out"; return 1; }
  echo "$out" | grep -qF "$version" || { echo "keyfold-cli --version said: $out"; return 1; }
  echo "keyfold-cli --version: $out"
  # Its clipboard module loads from the installed tree: without a display, clip ends
  # with its one line and status 11 (a module that did not load would say otherwise).
  local home status=0
  home="$(mktemp -d)"
  out="$(env -i PATH=/usr/bin:/bin HOME="$home" keyfold-cli --phrase-stdin --file "$home/l.dat" \
    --plain add mail --url m.example 2>&1 <<< $'k\np\n')" || { echo "keyfold-cli add failed: $out"; return 1; }
  out="$(env -i PATH=/usr/bin:/bin HOME="$home" keyfold-cli --phrase-stdin --file "$home/l.dat" clip mail \
    2>&1 <<< 'k')" || status=$?
  rm -rf "$home"
  [ $status -eq 11 ] && [ "$out" = "keyfold-cli: no display to reach the clipboard through" ] ||
    { echo "keyfold-cli clip without a display (status $status) said: $out"; return 1; }
  echo "keyfold-cli clip without a display: $out"

  if ! (cd "$dir" && apt-get install -y -q "./$file") >"$log" 2>&1; then
    cat "$log"; echo "apt-get install ./$file failed"; return 1
  fi
  echo "apt-get install ./$file: set up $(sed -n 's/^Setting up \([^ ]*\) .*/\1/p' "$log" | tr '\n' ' ')"
  dpkg-query -W -f='${Status}\n' keyfold | grep -q 'install ok installed' || { echo "not installed"; return 1; }

  # The programs start (no display needed for --version) and name the package's version.
  out="$(env -u DISPLAY -u WAYLAND_DISPLAY keyfold --version 2>&1)" || { echo "keyfold --version failed: $out"; return 1; }
  [ "$out" = "Keyfold $version" ] || { echo "keyfold --version said: $out"; return 1; }
  echo "keyfold --version: $out"
  # The program itself starts from the installed tree (headless, in a scratch home): it
  # is still up, waiting for its key phrase, when the time-out ends it.
  status=0
  home="$(mktemp -d)"
  env -u XDG_DATA_HOME -u XDG_CONFIG_HOME HOME="$home" QT_QPA_PLATFORM=offscreen \
    timeout 5 keyfold >"$log" 2>&1 || status=$?
  rm -rf "$home"
  [ $status -eq 124 ] || { cat "$log"; echo "keyfold ended at start (status $status)"; return 1; }
  echo "keyfold starts (headless) and waits for its key phrase"

  # dpkg removes these packages alone (apt-get would also finish whatever else the
  # package system has pending).
  local p
  for p in keyfold keyfold-cli; do
    if ! dpkg --purge "$p" >"$log" 2>&1; then cat "$log"; echo "dpkg --purge $p failed"; return 1; fi
    if dpkg-query -W -f='${Status}\n' "$p" 2>/dev/null | grep -q 'installed'; then
      echo "$p still installed after purge"; return 1
    fi
  done
  rm -f "$log"
  local left=0 path
  while read -r path; do
    if grep -qxF "$path" "$before"; then continue; fi
    if [ -e "$path" ] || [ -L "$path" ]; then echo "left behind: $path"; left=1; fi
  done < "$listing"
  local named_after
  named_after="$(find /usr /etc /opt /var/lib/dpkg/info -xdev \( -iname '*keyfold*' -o -iname '*quorvel*' \) 2>/dev/null | sort)"
  if [ "$named_after" != "$named_before" ]; then
    echo "left behind:"; comm -13 <(echo "$named_before") <(echo "$named_after"); left=1
  fi
  rm -f "$listing" "$before"
  [ $left -eq 0 ] || return 1
  echo "removed without a trace"
}

# Inside a private mount namespace: an overlay over / with its changes on a tmpfs,
# /dev, /proc and /sys bound in, and the check run in a chroot there.
overlay_check() {
  set -euo pipefail
  local scratch="$1" deb="$2" version="$3" clideb="$4"
  mount -t tmpfs keyfold-check "$scratch"
  mkdir "$scratch/upper" "$scratch/work" "$scratch/root"
  mount -t overlay overlay -o "lowerdir=/,upperdir=$scratch/upper,workdir=$scratch/work" "$scratch/root"
  mount --rbind /dev "$scratch/root/dev"
  mount -t proc proc "$scratch/root/proc"
  mount --rbind /sys "$scratch/root/sys"
  mkdir -p "$scratch/root/tmp/keyfold-package"
  cp "$deb" "$clideb" "$scratch/root/tmp/keyfold-package/"
  chroot "$scratch/root" /bin/bash -c "$(declare -f install_check); install_check /tmp/keyfold-package '$(basename "$deb")' '$version' '$(basename "$clideb")'"
}

# True when this shell may mount an overlay over / in a private mount namespace.
overlay_works() {
  [ "$(id -u)" -eq 0 ] || return 1
  local probe
  probe="$(mktemp -d)"
  unshare -m --propagation private sh -c "mount -t tmpfs probe '$probe' &&
    mkdir '$probe/u' '$probe/w' '$probe/m' &&
    mount -t overlay overlay -o 'lowerdir=/,upperdir=$probe/u,workdir=$probe/w' '$probe/m'" 2>/dev/null
  local works=$?
  rmdir "$probe"
  return $works
}

say "install, start, remove"
if overlay_works; then
  echo "in a throw-away root (an overlay of this machine's root)"
  scratch="$(mktemp -d)"
  status=0
  unshare -m --propagation private bash -c \
    "$(declare -f install_check overlay_check); overlay_check '$scratch' '$deb' '$version' '$clideb'" || status=$?
  rmdir "$scratch"
  [ $status -eq 0 ] || fail "install check"
else
  for p in keyfold keyfold-cli; do
    if dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
      fail "$p is installed on this machine: the check would remove it (run as root for the throw-away root)"
    fi
  done
  echo "on this machine (no overlay here)"
  $sudo bash -c "$(declare -f install_check); install_check '$(dirname "$deb")' '$(basename "$deb")' '$version' '$(basename "$clideb")'" ||
    fail "install check"
fi

say "packages: $deb $clideb"
