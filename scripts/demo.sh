#!/usr/bin/env bash
# Sets up and runs the main job: a small demo alias, then the SQL that re-creates its table.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
export FF_CONFIG_DIR="$PWD/var/demo/config"
ff=build/kvist-ff
if ! $ff tables DEMO >/dev/null 2>&1 || [ -z "$($ff tables DEMO)" ]; then
  $ff alias add DEMO "$PWD/var/demo/data"
  $ff create DEMO Kunder KUNDENR:Integer NAVN:String:40 E-mail:String:60 SALDO:Currency \
      OPPRETTET:Date AKTIV:Boolean NOTAT:Memo --index KUNDENR:KUNDENR
  $ff insert DEMO Kunder KUNDENR=1 NAVN="Bakeriet på hjørnet AS" E-mail=post@bakeriet.no SALDO=1250,50 OPPRETTET=02.01.2003 AKTIV=Ja
  $ff insert DEMO Kunder KUNDENR=2 NAVN="Fjordsnekker Ås" E-mail=ola@fjordsnekker.no SALDO=0 OPPRETTET=15.03.2003 AKTIV=Nei
fi
$ff dump DEMO Kunder
echo
$ff sql DEMO Kunder
