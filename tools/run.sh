#!/usr/bin/env bash
# Installs what is missing, builds the program and starts it. On its first use it also
# writes a small demo into the program's home (the folder the program itself picks:
# $QUARMELLE_HOME, else build/bin/ when a quarmelle.ini already stands there, else
# ${XDG_DATA_HOME:-~/.local/share}/quarmelle/): a datafile in its datafile folder
# (datas/), a collection for it (demo-roms/) and the first settings. Nothing is written
# beside the program: an ini file there would make the build folder the home, and
# deleting the build would take the settings and the backups of removed roms with it.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQM_SANITIZE=OFF -DQM_BUILD_TESTS=OFF
cmake --build build
bin=build/bin
if [ -n "${QUARMELLE_HOME:-}" ]; then
  home="$QUARMELLE_HOME"
elif [ -f "$bin/quarmelle.ini" ]; then
  home="$bin"
else
  data="${XDG_DATA_HOME:-}"
  case "$data" in /*) ;; *) data="$HOME/.local/share" ;; esac
  home="$data/quarmelle"
fi
mkdir -p "$home"
home="$(cd "$home" && pwd)"
if [ ! -e "$home/datas/demo.dat" ]; then
  mkdir -p "$home/datas"
  "$bin/gen_datafile" --games 60 --clones 1 --roms 3 --bios 2 --bios-users 10 --shared 5 \
    --nodump 3 --baddump 3 --clashes 2 "$home/datas/demo.dat.tmp" >/dev/null
  mv "$home/datas/demo.dat.tmp" "$home/datas/demo.dat"
  if [ ! -e "$home/demo-roms" ]; then
    # Zips of the first 24 sets, each rom forged to its listed size and CRC.
    "$bin/bench_scan" "$home/datas/demo.dat" "$home/demo-roms" --make 24 >/dev/null
  fi
  # A first start (no settings yet) opens the demo with its rom path.
  if [ ! -e "$home/quarmelle.ini" ]; then
    printf '[quarmelle]\nLastDataFile=%s/datas/demo.dat\nLastZippedDataFile=\n[bench]\nRomPaths=[][]%s/demo-roms/|\n' \
      "$home" "$home" >"$home/quarmelle.ini"
  fi
  echo "Demo: pick \"demo\" in the Datafile box ($home/datas/demo.dat); its rom path is $home/demo-roms/."
fi
if [ -x "$bin/quarmelle" ]; then
  exec "$bin/quarmelle" "$@"
else
  echo "Built. The user interface does not exist yet: nothing to start."
fi
