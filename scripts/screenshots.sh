#!/usr/bin/env bash
# Runs the desktop program under a real X server (Xvfb) on the damaged sample and
# saves what a user sees into build/screenshots/.
#   scripts/screenshots.sh [BUILD]   (default build)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
out="$build/screenshots"
mkdir -p "$out"
sample="$build/sample/damaged-sample.db"
"$build/sample/make_sample" "$sample" > /dev/null
# One instance at a time: a private temporary folder keeps the lock of a running
# desktop session out of the way.
export TMPDIR=$(mktemp -d)
export XDG_RUNTIME_DIR="$TMPDIR"
xvfb-run -a -s "-screen 0 1280x800x24" bash -c "
  '$build/shell/kestrun-repair-gui' '$sample' &
  pid=\$!
  sleep 4
  import -window root '$out/main-window-after-repair.png'
  kill \$pid
"
rm -rf "$TMPDIR"
echo "screenshots in $out:"
ls "$out"
