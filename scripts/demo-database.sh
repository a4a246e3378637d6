#!/usr/bin/env bash
# Makes the suite's demo database in FOLDER (once): the alias KVIST with the 32 business tables
# and the sample firm. On every run it also writes the demo's settings afresh, so that whatever
# was chosen in the program's windows last time cannot break the demo: FOLDER/etc/VELTRINO.INI
# opens every table group on KVIST with "Single User", and the logged-on user's own file
# (FOLDER/etc/<USER>.INI, which the sign-on window loads on leaving "Brukernavn") names the same
# alias and protocol. --keep-settings leaves settings files that exist as they are. --server
# SERVER signs on with "TCP/IP" to SERVER instead (the server's copy is scripts/demo-server.sh's).
# Prints the export line for the alias registry it used.
# Usage: scripts/demo-database.sh FOLDER [--fresh] [--keep-settings] [--server SERVER]
set -euo pipefail
cd "$(dirname "$0")/.."
folder=$(realpath -m "$1")
shift
fresh=0 keep=0 server=
while [ $# -gt 0 ]; do
  case "$1" in
    --fresh) fresh=1 ;;
    --keep-settings) keep=1 ;;
    --server) server=${2:?--server trenger et servernavn}; shift ;;
    *) echo "demo-database.sh: ukjent valg: $1" >&2; exit 2 ;;
  esac
  shift
done
[ "$fresh" = 1 ] && rm -rf "$folder"
export FF_CONFIG_DIR="$folder/config"
if [ ! -d "$folder/data" ] || [ -z "$(build/kvist-ff tables KVIST 2>/dev/null)" ]; then
  echo "Making the demo database KVIST (a sample firm) in $folder/data" >&2
  rm -rf "$folder/data"
  build/kvist-ff alias add KVIST "$folder/data"
  build/kvist-ff create-suite KVIST --demo
fi

# Writes FILE with the lines given, in the suite's CRLF form, unless it is to be kept.
write_settings() {
  local file=$1
  shift
  [ "$keep" = 1 ] && [ -f "$file" ] && return
  printf '%s\r\n' '[STANDARD]' "$@" >"$file"
}

mkdir -p "$folder/etc"
connection=("Net_Alias=KVIST" "Net_Protokoll=Single User")
[ -n "$server" ] && connection=("Net_Alias=KVIST" "Net_Protokoll=TCP/IP" "Net_Servernavn=$server")
groups=()
for group in Personal Utstyr Timer Dokument Varer Firma Regnskap Reise Prosjekt Salg; do
  groups+=("Database_${group}_Åpnes=1" "Database_${group}_Mappe=KVIST")
done
write_settings "$folder/etc/VELTRINO.INI" "${connection[@]}" "Brukernavn=demo" "${groups[@]}"
# The program's user name is the environment's USERNAME, else USER, else LOGNAME, in capitals.
user=${USERNAME:-${USER:-${LOGNAME:-}}}
write_settings "$folder/etc/${user^^}.INI" "${connection[@]}"
echo "export FF_CONFIG_DIR=$FF_CONFIG_DIR"
