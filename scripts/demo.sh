#!/usr/bin/env bash
# The station's main job against the simulator. Until the simulated station
# and Benchmate are in place, it shows what Chipctl does without a chip.
set -euo pipefail
BUILD="${1:-$(cd "$(dirname "$0")/.." && pwd)/build}"
STATION="$BUILD/station"
CHIPCTL="$STATION/config/CHIPCTL/Chipctl"

show() {
    printf '\n$ Chipctl %s\n' "$*"
    (cd "$STATION" && "$CHIPCTL" "$@")
    printf '\n'
}

echo "Chipctl does one chip operation per run and prints one result text."
show version
show /dev/ttyUSB9 mode read
echo
echo "Chipctl keeps the chip names and boot ROM banners it recognises in"
echo "$STATION/config/CHIPCTL/Config/chip_info.json:"
cat "$STATION/config/CHIPCTL/Config/chip_info.json"
echo
echo "Coming next: the simulated station (a golden machine and 24 DUTs) and"
echo "Benchmate running a whole test cycle against it."
