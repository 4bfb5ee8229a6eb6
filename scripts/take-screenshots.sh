#!/bin/sh
# Takes the documentation's screenshots of the desktop program.
# Usage: scripts/take-screenshots.sh BUILD_DIR
# Needs xvfb-run. Each shot runs the program in its screenshot mode on a virtual screen, with its
# settings and lock in a temporary folder, so the user's own settings are never touched.
set -eu

if [ $# -ne 1 ]; then
  echo "usage: $0 BUILD_DIR" >&2
  exit 2
fi
build_dir=$1
program="$build_dir/app/zandrex"
repo_dir=$(cd "$(dirname "$0")/.." && pwd)
docs_dir="$repo_dir/docs"
if [ ! -x "$program" ]; then
  echo "$0: $program not found; build the target zandrex first" >&2
  exit 1
fi
mkdir -p "$docs_dir"

work=$(mktemp -d)
chmod 700 "$work"

# A small tree with a few duplicates of each kind, at a fixed place and with fixed dates so that
# the pictures only change when the program does.
demo_root="${TMPDIR:-/tmp}/zandrex-demo"
trap 'rm -rf "$work" "$demo_root"' EXIT
rm -rf "$demo_root"
demo="$demo_root/Photos"
# Paths long enough that the path column elides them in the middle.
project="$demo/Archive/Projects_2021/riverside-community-centre/site-visits/originals"
mkdir -p "$demo/2023/Summer" "$demo/2024/Trip" "$demo/Backup" "$demo/Documents" "$project"
printf 'beach picture\n' >"$demo/2023/Summer/beach.jpg"
printf 'beach picture\n' >"$demo/Backup/beach.jpg"
printf 'beach picture\n' >"$demo/2024/Trip/beach copy.jpg"
printf 'sunset over the lake\n' >"$demo/2023/Summer/sunset.jpg"
printf 'sunset over the lake\n' >"$demo/Backup/sunset.jpg"
printf 'harbour\n' >"$demo/2024/Trip/harbour.jpg"
printf 'old harbour\n' >"$demo/Backup/harbour.jpg"
printf 'Meeting notes, March\n' >"$demo/Documents/notes.txt"
printf 'Meeting notes, March\n' >"$demo/Backup/notes.txt"
printf 'Budget 2024\n' >"$demo/Documents/budget.csv"
printf 'north entrance\n' >"$project/north-entrance.jpg"
printf 'north entrance\n' >"$demo/Backup/north-entrance.jpg"
printf 'Meeting notes, March\n' >"$project/notes.txt"
find "$demo" -type f -exec touch -d "2024-06-01 12:00:00" {} +

# One shot per line: the PNG's name in docs/, the virtual screen, the scale, then the settings of
# the program's screenshot mode. At twice the scale the 1600 x 1000 screen is 800 x 500 logical
# pixels, smaller than the window's design: it opens fitted to the screen.
main='ZANDREX_DEMO_SOURCE='"$demo"' ZANDREX_DEMO_MODE=3 ZANDREX_DEMO_TICK=1 ZANDREX_DEMO_TICK_GROUP=0'
shots="main-window.png 1024x768 1 $main
main-window@2x.png 1600x1000 2 $main
failure-window.png 1024x768 1 ZANDREX_SCREENSHOT_WINDOW=failure
error-window.png 1024x768 1 ZANDREX_SCREENSHOT_WINDOW=error
about-window.png 1024x768 1 ZANDREX_SCREENSHOT_WINDOW=about"

echo "$shots" | while read -r name screen scale settings; do
  [ -n "$name" ] || continue
  home="$work/home-$name"
  mkdir -p "$home/config/Zandrex" "$home/runtime"
  chmod 700 "$home/runtime"
  # The main window shows a protected folder and a filter as a user would have set them.
  cat >"$home/config/Zandrex/Zandrex.ini" <<EOF
[Filters]
MinimumSize=0
Exclude=*.tmp
[Protected]
Count=1
Folder1=$demo/Documents
EOF
  # shellcheck disable=SC2086 # the settings are words on purpose
  env HOME="$home" XDG_CONFIG_HOME="$home/config" XDG_RUNTIME_DIR="$home/runtime" \
    QT_SCALE_FACTOR="$scale" ZANDREX_SCREENSHOT="$docs_dir/$name" $settings \
    xvfb-run -a -s "-screen 0 ${screen}x24 -dpi 96" "$program"
  echo "wrote docs/$name"
done
