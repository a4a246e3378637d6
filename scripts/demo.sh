#!/usr/bin/env bash
# Sets up and runs the main job: a demo alias with a few tables (made on the first run), the
# private MariaDB behind the SQL alias "MySQLweb", and the conversion window on the demo alias.
# Without a display the window runs under Xvfb: a picture of it is saved and the demo ends.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
root=$PWD
demo=$root/var/demo
export FF_CONFIG_DIR="$demo/config"
ff=$root/build/kvist-ff
if ! $ff tables DEMO >/dev/null 2>&1 || [ -z "$($ff tables DEMO)" ]; then
  echo "Making the demo alias DEMO in $demo/data"
  $ff alias add DEMO "$demo/data"
  $ff create DEMO Kunder KUNDENR:Integer NAVN:String:40 E-mail:String:60 SALDO:Currency \
      OPPRETTET:Date AKTIV:Boolean NOTAT:Memo --index KUNDENR:KUNDENR
  $ff insert DEMO Kunder KUNDENR=1 NAVN="Bakeriet på hjørnet AS" E-mail=post@bakeriet.no SALDO=1250,50 OPPRETTET=02.01.2003 AKTIV=Ja NOTAT="Betaler alltid i tide"
  $ff insert DEMO Kunder KUNDENR=2 NAVN="Fjordsnekker Ås" E-mail=ola@fjordsnekker.no SALDO=0 OPPRETTET=15.03.2003 AKTIV=Nei
  $ff insert DEMO Kunder KUNDENR=3 NAVN="Lien Elektro" E-mail=firma@lienelektro.no SALDO=-310,75 OPPRETTET=30.06.2004 AKTIV=Ja
  $ff create DEMO Prosjekt PROSJEKTNR:Float NAVN:String:30 KUNDENR:Integer START:Date TIMER:Smallint \
      FERDIG:Boolean --index PROSJEKTNR:PROSJEKTNR
  $ff insert DEMO Prosjekt PROSJEKTNR=1001 NAVN="Nytt bad" KUNDENR=2 START=01.09.2004 TIMER=120 FERDIG=Ja
  $ff insert DEMO Prosjekt PROSJEKTNR=1002 NAVN="Elanlegg, verksted" KUNDENR=3 START=14.02.2005 TIMER=46 FERDIG=Nei
  $ff create DEMO Varer VARENR:String:12 BESKRIVELSE:String:40 PRIS:Currency LAGER:Integer \
      SIST_TELT:DateTime --index VARENR:VARENR
  $ff insert DEMO Varer VARENR=K-100 BESKRIVELSE="Kabel 3x1,5 mm²" PRIS=12,90 LAGER=400 SIST_TELT="31.12.2004 16:30"
  $ff insert DEMO Varer VARENR=S-220 BESKRIVELSE="Stikkontakt, jordet" PRIS=89 LAGER=35 SIST_TELT="31.12.2004 16:45"
fi
# The window's settings: the suite's settings file in etc/ beside the folder it runs in.
mkdir -p "$demo/etc" "$demo/run"
[ -f "$demo/etc/VELTRINO.INI" ] || printf '[STANDARD]\r\nNet_Alias=DEMO\r\n' >"$demo/etc/VELTRINO.INI"

scripts/mysql-local.sh start
echo "Opening the conversion window on DEMO; \"Kjør SQL\" runs the pane on MySQLweb (the private MariaDB)."
cd "$demo/run"
if [ -z "${DISPLAY:-}" ]; then
  echo "No display: running the window under Xvfb, saving a picture of it to $demo/conversion-window.png"
  KV_SCREENSHOT="$demo/conversion-window.png" xvfb-run -a -s "-screen 0 1280x800x24" "$root/build/kvist-convert"
  echo "Saved $demo/conversion-window.png"
else
  "$root/build/kvist-convert"
fi
