#!/usr/bin/env bash
# Installs what building and testing Marbrook needs on Debian 12, and declares
# the ODBC driver name that GDAL's personal-geodatabase driver asks for.
# Safe to run again: it installs only what is missing.
set -euo pipefail

packages=(
  build-essential cmake pkg-config ninja-build
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  libgdal-dev gdal-bin libpq-dev
  nlohmann-json3-dev
  unixodbc odbc-mdbtools
  qt6-base-dev qt6-svg-dev libgl-dev
  postgresql postgresql-contrib postgis postgresql-15-postgis-3
  xvfb xauth xdotool x11-utils
  fonts-wqy-microhei
  # The QGIS plugin's test: QGIS's Python bindings for the system's
  # /usr/bin/python3 and its data providers (no QGIS desktop needed).
  python3-qgis qgis-providers
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

if [ "${#missing[@]}" -gt 0 ]; then
  if [ "$(id -u)" -ne 0 ]; then
    echo "install-deps: missing packages: ${missing[*]}" >&2
    echo "install-deps: run this script as root (or: sudo $0)" >&2
    exit 1
  fi
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  # A server package must not start a system-wide cluster on its own; the tests
  # start their own throwaway one.
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# GDAL looks the MDB driver up under this exact name; declaring it once keeps
# GDAL from trying to write odbcinst.ini itself at first use.
odbcinst=/etc/odbcinst.ini
driver_lib=$(ls /usr/lib/*/odbc/libmdbodbc.so 2>/dev/null | head -n1 || true)
if [ -n "$driver_lib" ] && ! grep -q '^\[Microsoft Access Driver (\*\.mdb)\]' "$odbcinst" 2>/dev/null; then
  if [ -w "$(dirname "$odbcinst")" ]; then
    printf '\n[Microsoft Access Driver (*.mdb)]\nDescription=MDB Tools ODBC driver\nDriver=%s\nFileUsage=1\n' "$driver_lib" >> "$odbcinst"
  else
    echo "install-deps: cannot declare the MDB ODBC driver in $odbcinst (not root)" >&2
  fi
fi
echo "install-deps: all build and test dependencies are present"
