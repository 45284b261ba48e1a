#!/usr/bin/env bash
# `cmake --install` into a scratch prefix lays out a working desktop program: the
# command on the PATH leads to the program, help.htm and the browser window's program sit beside
# it, the desktop entry, icon and metainfo are where desktops look, every library
# the program needs resolves inside the installed tree, not in the build folder, and
# the installed command answers --version without a display.
set -u
build="$1"
version="$2"
prefix="$(mktemp -d)"
trap 'rm -rf "$prefix"' EXIT
fail=0
cmake --install "$build" --prefix "$prefix" >/dev/null || { echo "install failed"; exit 1; }

link="$prefix/bin/keyfold"
[ -L "$link" ] || { echo "bin/keyfold is not a link"; fail=1; }
program="$(readlink -f "$link")"
[ -x "$program" ] && [ -f "$program" ] || { echo "bin/keyfold leads nowhere"; exit 1; }
case "$(readlink "$link")" in /*) echo "bin/keyfold link is absolute"; fail=1 ;; esac
out="$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$link" --version 2>&1)"
[ "$out" = "Keyfold $version" ] || { echo "keyfold --version said: $out"; fail=1; }
# Qt's single-dash options are not read as -v: -reverse starts the program (here
# headless, and it waits for its key phrase: the time-out ends it).
out="$(QT_QPA_PLATFORM=offscreen timeout 3 "$link" -reverse 2>&1)"
[ $? -eq 124 ] || { echo "keyfold -reverse did not start the program: $out"; fail=1; }
pkgdir="$(dirname "$program")"
# keyfold-cli beside the program, by a relative link, finding the vault library there.
if [ -f "$build/app/keyfold-cli" ]; then
  cli="$prefix/bin/keyfold-cli"
  [ -L "$cli" ] || { echo "bin/keyfold-cli is not a link"; fail=1; }
  case "$(readlink "$cli")" in /*) echo "bin/keyfold-cli link is absolute"; fail=1 ;; esac
  [ "$(dirname "$(readlink -f "$cli")")" = "$pkgdir" ] || { echo "keyfold-cli not beside the program"; fail=1; }
  out="$(env -u DISPLAY -u WAYLAND_DISPLAY "$cli" --version 2>&1)"
  [ "$out" = "keyfold-cli $version" ] || { echo "keyfold-cli --version said: $out"; fail=1; }
  [ -f "$pkgdir/libkeyfold_cli_clip.so" ] || { echo "clipboard module not beside keyfold-cli"; fail=1; }
  [ -f "$prefix/share/man/man1/keyfold-cli.1" ] || { echo "missing share/man/man1/keyfold-cli.1"; fail=1; }
  # Completion where bash-completion (beside the command's prefix) and zsh look.
  [ -f "$prefix/share/zsh/site-functions/_keyfold-cli" ] || { echo "missing zsh completion"; fail=1; }
  out="$(bash -c 'source "$0"; COMP_WORDS=(keyfold-cli sear); COMP_CWORD=1; _keyfold_cli; echo "${COMPREPLY[*]}"' \
           "$prefix/share/bash-completion/completions/keyfold-cli" 2>&1)"
  [ "$out" = "search" ] || { echo "installed bash completion offered: $out"; fail=1; }
fi
if [ -f "$KEYFOLD_SOURCE_DIR/app/help.htm" ]; then
  cmp -s "$KEYFOLD_SOURCE_DIR/app/help.htm" "$pkgdir/help.htm" || { echo "help.htm not beside the program"; fail=1; }
fi
if [ -f "$build/app/keyfold-browser" ]; then
  [ -x "$pkgdir/keyfold-browser" ] || { echo "the browser window's program not beside the program"; fail=1; }
fi
for f in share/applications/org.quorvel.Keyfold.desktop \
         share/icons/hicolor/scalable/apps/org.quorvel.Keyfold.svg \
         share/metainfo/org.quorvel.Keyfold.metainfo.xml \
         share/man/man1/keyfold.1 share/doc/keyfold/copyright; do
  [ -f "$prefix/$f" ] || { echo "missing $f"; fail=1; }
done

# The installed metainfo, desktop entry and icon agree with each other.
if command -v appstreamcli >/dev/null; then
  appstreamcli validate-tree --no-net --no-color "$prefix" >/dev/null ||
    { appstreamcli validate-tree --no-net --no-color "$prefix"; fail=1; }
fi

# Every object of ours resolves its libraries, and none from the build folder.
for obj in "$program" "$pkgdir/keyfold-browser" "$pkgdir/keyfold-cli" "$pkgdir"/*.so; do
  [ -e "$obj" ] || continue
  deps="$(ldd "$obj" 2>&1)"
  if echo "$deps" | grep -q 'not found'; then
    echo "$obj:"; echo "$deps" | grep 'not found'; fail=1
  fi
  if echo "$deps" | grep -q "$build"; then
    echo "$obj loads libraries from the build folder"; fail=1
  fi
done
[ $fail -eq 0 ] && echo "install tree complete: $pkgdir"
exit $fail
