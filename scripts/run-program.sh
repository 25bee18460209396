#!/usr/bin/env bash
# Starts the program from its folder (make run). The folder holds the
# executable, the database and the sample song list side by side.
set -euo pipefail

dir="${1:-build/program}"
if [ ! -x "$dir/MeloDeck" ]; then
    echo "make run: $dir/MeloDeck is missing; build it with: make run" >&2
    exit 1
fi
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
    echo "make run: no display (DISPLAY is not set); run it inside a desktop session, or on a virtual one: xvfb-run make run" >&2
    exit 1
fi
# Like a double click on the program: its own folder is the current one, so
# the file dialog of the import opens beside the sample list.
cd "$dir"
exec ./MeloDeck
