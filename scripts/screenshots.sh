#!/usr/bin/env bash
# Runs the desktop program under a real X server (Xvfb) and saves what a user sees
# into build/screenshots/: the program as it starts on the damaged sample, then a
# tour of its windows (the main window after a repair, the Select Database dialog
# with search results, the save destination dialog, the message dialogs).
#   scripts/screenshots.sh [BUILD]   (default build)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
out="$build/screenshots"
rm -rf "$out"
mkdir -p "$out"
sample="$build/sample/damaged-sample.db"
"$build/sample/make_sample" "$sample" > /dev/null
# One instance at a time: a private temporary folder keeps the lock of a running
# desktop session out of the way, and a private configuration keeps the user's
# saved window out of it.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export TMPDIR="$work" XDG_RUNTIME_DIR="$work" XDG_CONFIG_HOME="$work/config"
# The tour runs from the tests folder: it reads the build tree's product key.
export KESTRUN_PRODUCT_KEY="$PWD/$build/shell/product-key.ini"
# A small folder tree for the drive search to find.
search="$work/Documents"
mkdir -p "$search/phone backup/databases" "$search/browser profile" "$search/.cache"
cp "$sample" "$search/phone backup/databases/contacts.db"
head -c 9000 /dev/urandom > "$search/phone backup/databases/sms.sqlite"
head -c 150000 /dev/urandom > "$search/browser profile/places.sqlite"
head -c 2048 /dev/urandom > "$search/browser profile/cookies.db"
cp "$sample" "$search/shop.db"
touch "$search/.cache/hidden.db"
xvfb-run -a -s "-screen 0 1280x800x24" bash -c "
  '$build/shell/kestrun-repair-gui' '$sample' &
  pid=\$!
  sleep 3
  import -window root '$out/start-select-database.png'
  kill \$pid
  wait \$pid 2>/dev/null || true
  '$build/tests/kestrun_screenshot_tour' '$sample' '$search' '$out'
"
echo "screenshots in $out:"
ls "$out"
