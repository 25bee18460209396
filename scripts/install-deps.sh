#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the program need.
# Does nothing when every package is already installed.
set -euo pipefail

# fonts-ipafont-gothic: a Japanese Gothic face with proportional kana, close
# to the font the window is laid out for, so captions fit their controls.
# qt6-translations-l10n: Qt's own texts (dialogs, field menus) in Japanese.
# clang: the test suite builds the core library with it as well.
# libcurl4-openssl-dev: the download (http:// and https:// list sources).
# desktop-file-utils, appstream: the validators of the menu entry and the
# metainfo that make install puts in place (checked by the tests).
# libxcb1-dev: the window names on X11 (the progress window has none).
# zlib1g-dev: a test server's compressed answer that never ends.
# xvfb, openbox, xdotool, x11-utils: the tests of the window under a real X
# server and window manager (frame, close box, caption), driven and read by
# xdotool, xprop and xwininfo.
pkgs=(cmake make g++ pkg-config qt6-base-dev libgl-dev libxcb1-dev libsqlite3-dev sqlite3
      libgtest-dev libcurl4-openssl-dev zlib1g-dev fonts-noto-cjk fonts-ipafont-gothic
      qt6-translations-l10n python3 clang desktop-file-utils appstream xvfb openbox xdotool
      x11-utils ${EXTRA_PKGS:-})

# --fuzz: also the runtime of the fuzz targets (make fuzz);
# libFuzzer comes with clang's runtime libraries.
for arg in "$@"; do
    case "$arg" in
    --fuzz) pkgs+=(libclang-rt-14-dev) ;;
    *)
        echo "unknown option: $arg" >&2
        exit 2
        ;;
    esac
done

missing=()
for p in "${pkgs[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done

if [ ${#missing[@]} -eq 0 ]; then
    exit 0
fi

echo "installing: ${missing[*]}"
if [ "$(id -u)" -ne 0 ]; then
    echo "missing packages need root: apt-get install ${missing[*]}" >&2
    exit 1
fi
export DEBIAN_FRONTEND=noninteractive
apt-get update -q
apt-get install -y -q --no-install-recommends "${missing[@]}"
