#!/usr/bin/env bash
# Installs what is missing, builds the program and starts it. On its first use it also
# writes a small demo: a datafile into the build's datafile folder (build/bin/datas/)
# and a collection for it beside that folder (build/bin/demo-roms/).
set -euo pipefail
cd "$(dirname "$0")/.."
tools/deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQM_SANITIZE=OFF -DQM_BUILD_TESTS=OFF
cmake --build build
bin=build/bin
if [ ! -e "$bin/datas/demo.dat" ]; then
  mkdir -p "$bin/datas"
  "$bin/gen_datafile" --games 60 --clones 1 --roms 3 --bios 2 --bios-users 10 --shared 5 \
    --nodump 3 --baddump 3 --clashes 2 "$bin/datas/demo.dat.tmp" >/dev/null
  mv "$bin/datas/demo.dat.tmp" "$bin/datas/demo.dat"
  if [ ! -e "$bin/demo-roms" ]; then
    # Zips of the first 24 sets in the profile's layout (un-merged, written below), each
    # rom forged to its listed size and CRC: a first fix has nothing to rewrite.
    "$bin/bench_scan" "$bin/datas/demo.dat" "$bin/demo-roms" --mode unmerged --make 24 >/dev/null
  fi
  # A first start (no settings yet) opens the demo with its rom path.
  if [ ! -e "$bin/quarmelle.ini" ]; then
    home="$(cd "$bin" && pwd)"
    printf '[quarmelle]\nLastDataFile=%s/datas/demo.dat\nLastZippedDataFile=\n[bench]\nSplit=1\nMerge=0\nRomPaths=[][]%s/demo-roms/|\n' \
      "$home" "$home" >"$bin/quarmelle.ini"
  fi
  echo "Demo: pick \"demo\" in the Datafile box (build/bin/datas/demo.dat); its rom path is build/bin/demo-roms/."
fi
if [ -x "$bin/quarmelle" ]; then
  exec "$bin/quarmelle" "$@"
else
  echo "Built. The user interface does not exist yet: nothing to start."
fi
