#!/usr/bin/env bash
# Makes the suite's demo database in FOLDER (once): the alias KVIST with the 32 business tables
# and the sample firm, and the settings file FOLDER/etc/VELTRINO.INI that opens every table group
# on it with "Single User". Prints the export line for the alias registry it used.
# Usage: scripts/demo-database.sh FOLDER [--fresh]
set -euo pipefail
cd "$(dirname "$0")/.."
folder=$(realpath -m "$1")
[ "${2:-}" = "--fresh" ] && rm -rf "$folder"
export FF_CONFIG_DIR="$folder/config"
if [ ! -d "$folder/data" ] || [ -z "$(build/kvist-ff tables KVIST 2>/dev/null)" ]; then
  echo "Making the demo database KVIST (a sample firm) in $folder/data" >&2
  rm -rf "$folder/data"
  build/kvist-ff alias add KVIST "$folder/data"
  build/kvist-ff create-suite KVIST --demo
fi
mkdir -p "$folder/etc"
if [ ! -f "$folder/etc/VELTRINO.INI" ]; then
  {
    printf '[STANDARD]\r\nNet_Alias=KVIST\r\nNet_Protokoll=Single User\r\nBrukernavn=demo\r\n'
    for group in Personal Utstyr Timer Dokument Varer Firma Regnskap Reise Prosjekt Salg; do
      printf 'Database_%s_Åpnes=1\r\nDatabase_%s_Mappe=KVIST\r\n' "$group" "$group"
    done
  } >"$folder/etc/VELTRINO.INI"
fi
echo "export FF_CONFIG_DIR=$FF_CONFIG_DIR"
