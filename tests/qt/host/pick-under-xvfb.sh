#!/usr/bin/env bash
# `marbrook pick` on a virtual display, played with xdotool: Escape cancels
# (exit 1, nothing printed); a double-click on the listed shapefile prints
# one line "feature<TAB>name<TAB>source" (exit 0); with --databases the root
# offers the database connections, the last entry, which End and Enter open;
# with --json --parent the dialog is transient for another program's window
# (xmessage here) and the layer comes as JSON. Arguments: the marbrook
# program and ogr2ogr. Exits 77 (skipped) without xvfb-run, xdotool, xmessage
# or xprop.
set -u
marbrook=$1
ogr2ogr=${2:-ogr2ogr}
for tool in xvfb-run xdotool xmessage xprop "$ogr2ogr"; do
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
    "$0" pick --single $3 > "$1/out" 2> "$1/err" &
    pid=$!
    win=$(timeout 20 xdotool search --sync --name "打开对话框" | head -n1)
    [ -n "$win" ] || { kill $pid; echo "no dialog window" >&2; exit 9; }
    sleep 0.5
    case "$2" in
      cancel) xdotool key --window "$win" Escape ;;
      choose) xdotool mousemove 40 52 click --repeat 2 --delay 80 1 ;;
      last) xdotool key --window "$win" End Return; sleep 0.5; xdotool key --window "$win" Escape ;;
    esac
    wait $pid' "$marbrook" "$work" "$1" "${2:-}"
}

play cancel; rc=$?
if [ "$rc" -ne 1 ] || [ -s "$work/out" ]; then
  echo "cancel: expected exit 1 and no output, got $rc: $(cat "$work/out")" >&2; cat "$work/err" >&2; exit 1
fi
play choose; rc=$?
expected=$(printf 'feature\twells\t%s/data/wells.shp' "$work")
if [ "$rc" -ne 0 ] || [ "$(cat "$work/out")" != "$expected" ]; then
  echo "choose: expected exit 0 and '$expected', got $rc: '$(cat "$work/out")'" >&2; cat "$work/err" >&2; exit 1
fi
# The root listing: its last entry is the database root only with --databases.
remembered() { sed -n 's/^CURDIR=//p' "$XDG_CONFIG_HOME/marbrook/VERDANTA.ini"; }
for mode in plain databases; do
  printf '[OPENDLG]\nCURDIR=\n' > "$XDG_CONFIG_HOME/marbrook/VERDANTA.ini"
  if [ "$mode" = databases ]; then play last --databases; else play last; fi
  rc=$?
  if [ "$rc" -ne 1 ]; then echo "$mode: expected exit 1, got $rc" >&2; cat "$work/err" >&2; exit 1; fi
  if [ "$mode" = databases ] && [ "$(remembered)" != "空间数据库" ]; then
    echo "--databases: the last root entry was not the database root (remembered '$(remembered)')" >&2; exit 1
  fi
  if [ "$mode" = plain ] && [ "$(remembered)" = "空间数据库" ]; then
    echo "without --databases the database root was offered" >&2; exit 1
  fi
done
if grep -qi '^type=1' "$XDG_CONFIG_HOME/marbrook/QM_VERDANTA.ini" 2>/dev/null; then
  echo "--databases stored the setting; it is for that run only" >&2; exit 1
fi
# Another program's window as the parent: the dialog says it belongs to it.
# It opens in the data folder again (the root runs above remembered the root).
printf '[OPENDLG]\nCURDIR=%s\n' "$work/data" > "$XDG_CONFIG_HOME/marbrook/VERDANTA.ini"
xvfb-run -a -s "-screen 0 1024x768x24" sh -c '
  xmessage -name marbrookhost -geometry 600x400+200+200 "a host" &
  host=$!
  parent=$(timeout 20 xdotool search --sync --classname marbrookhost | head -n1)
  [ -n "$parent" ] || { echo "no host window" >&2; exit 9; }
  timeout 60 "$0" pick --single --json --parent "$parent" > "$1/out" 2> "$1/err" &
  pid=$!
  win=$(timeout 20 xdotool search --sync --name "打开对话框" | head -n1)
  [ -n "$win" ] || { kill $pid $host; echo "no dialog window" >&2; exit 9; }
  sleep 0.5
  xprop -id "$win" WM_TRANSIENT_FOR > "$1/transient"
  printf "%d\n" "$parent" > "$1/parent"
  # Placed over its parent, not at the corner: the click is the dialog'"'"'s own.
  xdotool mousemove --window "$win" 40 52 click --repeat 2 --delay 80 1
  wait $pid; rc=$?
  kill $host
  exit $rc' "$marbrook" "$work"
rc=$?
transient=$(sed -n 's/.*# \(0x[0-9a-f]*\).*/\1/p' "$work/transient")
if [ "$rc" -ne 0 ] || [ -z "$transient" ] || [ "$(printf '%d' "$transient")" != "$(cat "$work/parent")" ]; then
  echo "parent: expected exit 0 and the dialog transient for $(cat "$work/parent"), got $rc: $(cat "$work/transient")" >&2
  cat "$work/err" >&2; exit 1
fi
if ! grep -q '"path": "'"$work"'/data/wells.shp"' "$work/out" || ! grep -q '"name": "wells"' "$work/out"; then
  echo "parent: expected the layer as JSON, got: $(cat "$work/out")" >&2; exit 1
fi
if [ "$("$marbrook" pick --parent 0 2>&1 >/dev/null; echo $?)" != "$(printf 'marbrook pick: unknown option or bad window id %s\nusage: marbrook pick [--single] [--databases] [--json] [--parent WINDOW-ID]\n2' "'--parent'")" ]; then
  echo "parent: a window id of 0 is bad usage" >&2; exit 1
fi
echo "pick: cancel, choose, --databases, and choose above another program's window ($transient) behave"
