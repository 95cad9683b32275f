#!/usr/bin/env bash
# Writes the demo into the program's home on its first use: a datafile in its datafile
# folder (datas/), a collection for it (demo-roms/) and, when no settings exist yet, the
# first settings, which open the demo with that rom path. The home is the folder the
# program itself picks: $QUARMELLE_HOME, else BIN when a quarmelle.ini already stands
# there, else ${XDG_DATA_HOME:-~/.local/share}/quarmelle/. Nothing is written beside the
# program: an ini file there would make the build folder the home, and deleting the
# build would take the settings and the backups of removed roms with it.
# Usage: tools/demo.sh BIN   (BIN: the folder of the built program and its tools)
set -euo pipefail
bin="$1"
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
[ -e "$home/datas/demo.dat" ] && exit 0
mkdir -p "$home/datas"
"$bin/gen_datafile" --games 60 --clones 1 --roms 3 --bios 2 --bios-users 10 --shared 5 \
  --nodump 3 --baddump 3 --clashes 2 "$home/datas/demo.dat.tmp" >/dev/null
mv "$home/datas/demo.dat.tmp" "$home/datas/demo.dat"
if [ ! -e "$home/demo-roms" ]; then
  # Zips of the first 24 sets in the profile's layout (un-merged, written below), each
  # rom forged to its listed size and CRC: a first fix has nothing to rewrite.
  "$bin/bench_scan" "$home/datas/demo.dat" "$home/demo-roms" --mode unmerged --make 24 >/dev/null
fi
# A first start (no settings yet) opens the demo with its rom path. Only what the program
# cannot choose itself is written: every folder keeps the program's default.
if [ ! -e "$home/quarmelle.ini" ]; then
  printf '[quarmelle]\nLastDataFile=%s/datas/demo.dat\nLastZippedDataFile=\n[bench]\nSplit=1\nMerge=0\nRomPaths=[][]%s/demo-roms/|\n' \
    "$home" "$home" >"$home/quarmelle.ini"
fi
echo "Demo: pick \"demo\" in the Datafile box ($home/datas/demo.dat); its rom path is $home/demo-roms/."
