#!/usr/bin/env bash
# Runs a program on a virtual X display: xvfb-run when present, else Xvfb
# directly. Exits 77 (skipped) when neither exists.
set -u
prog=("$@")
unset QT_QPA_PLATFORM WAYLAND_DISPLAY
if command -v xvfb-run >/dev/null 2>&1; then
  exec xvfb-run -a -s "-screen 0 1280x1024x24" "${prog[@]}"
fi
if command -v Xvfb >/dev/null 2>&1; then
  for n in $(seq 91 120); do
    [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
    Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
    xpid=$!
    for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done
    DISPLAY=":$n" "${prog[@]}"
    rc=$?
    kill "$xpid" 2>/dev/null
    wait "$xpid" 2>/dev/null
    exit "$rc"
  done
  echo "run-under-xvfb: no free display number" >&2
  exit 1
fi
echo "SKIPPED: neither xvfb-run nor Xvfb is installed (Debian: apt-get install xvfb xauth)" >&2
exit 77
