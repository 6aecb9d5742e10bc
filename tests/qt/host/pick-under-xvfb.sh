#!/usr/bin/env bash
# `marbrook pick` on a virtual display, played with xdotool: Escape cancels
# (exit 1, nothing printed); a double-click on the listed shapefile prints
# one line "feature<TAB>name<TAB>source" (exit 0). Arguments: the marbrook
# program and ogr2ogr. Exits 77 (skipped) without xvfb-run or xdotool.
set -u
marbrook=$1
ogr2ogr=${2:-ogr2ogr}
for tool in xvfb-run xdotool "$ogr2ogr"; do
  command -v "$tool" >/dev/null 2>&1 || { echo "SKIPPED: $tool is not installed" >&2; exit 77; }
done
unset QT_QPA_PLATFORM WAYLAND_DISPLAY
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export XDG_CONFIG_HOME=$work/config MARBROOK_HOME=$work/lib
mkdir -p "$XDG_CONFIG_HOME/marbrook" "$MARBROOK_HOME" "$work/data"
echo '{"type":"FeatureCollection","features":[{"type":"Feature","properties":{"n":"a"},"geometry":{"type":"Point","coordinates":[1,2]}}]}' > "$work/wells.geojson"
"$ogr2ogr" -q "$work/data/wells.shp" "$work/wells.geojson" || exit 1
printf '[OPENDLG]\nCURDIR=%s\n' "$work/data" > "$XDG_CONFIG_HOME/marbrook/VERDANTA.ini"

# The dialog is placed at the screen's top-left corner; its list starts
# about 40 pixels down, and in list view the only item is its first.
play() {
  xvfb-run -a -s "-screen 0 1024x768x24" sh -c '
    "$0" pick --single > "$1/out" 2> "$1/err" &
    pid=$!
    win=$(timeout 20 xdotool search --sync --name "打开对话框" | head -n1)
    [ -n "$win" ] || { kill $pid; echo "no dialog window" >&2; exit 9; }
    sleep 0.5
    case "$2" in
      cancel) xdotool key --window "$win" Escape ;;
      choose) xdotool mousemove 40 52 click --repeat 2 --delay 80 1 ;;
    esac
    wait $pid' "$marbrook" "$work" "$1"
}

play cancel; rc=$?
if [ "$rc" -ne 1 ] || [ -s "$work/out" ]; then
  echo "cancel: expected exit 1 and no output, got $rc: $(cat "$work/out")" >&2; cat "$work/err" >&2; exit 1
fi
play choose; rc=$?
expected=$(printf 'feature\twells\t%s/data/wells' "$work")
if [ "$rc" -ne 0 ] || [ "$(cat "$work/out")" != "$expected" ]; then
  echo "choose: expected exit 0 and '$expected', got $rc: '$(cat "$work/out")'" >&2; cat "$work/err" >&2; exit 1
fi
echo "pick: cancel and choose behave"
