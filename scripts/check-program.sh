#!/usr/bin/env bash
# The whole-program check a person would make. Run after scripts/setup.sh.
# 1. The real program on the suite's demo database, started with -autologon under Xvfb, picks
#    PROSJEKT, writes its SQL, runs it on "MySQLweb" (the private MariaDB) and saves a picture of
#    that state in docs/; the table is then looked up on the server.
# 2. A new user's first steps: on fresh demo settings "Ok" is clicked in the sign-on window with
#    the mouse, then the demo runs again; both sign on. The settings that an older version left
#    after such a click (no protocol) give the error window that names what was tried, and the
#    next plain run of the demo mends them. Pictures of both windows go to docs/.
# 3. The commands of the README's "Your own firm's files" and of its command-line section.
# 4. The README's server commands: the demo signed on with "TCP/IP" to the private MariaDB, and
#    a firm moved onto the server with copy-alias.
# 5. The README's first conversion: an SQL alias made with sql-alias add, the plan, the
#    conversion of a firm's .ff2 files onto its own database.
# 6. With --long, the README's benchmarks too, with their long settings (this takes hours).
# Usage: scripts/check-program.sh [--long]
set -euo pipefail
long=0
[ "${1:-}" = "--long" ] && long=1
cd "$(dirname "$0")/.."
root=$PWD
# The sign-on window needs a user name, which the program takes from the environment.
[ -n "${USERNAME:-${USER:-${LOGNAME:-}}}" ] || export USER=$(id -un)
screen=(-a -s "-screen 0 1280x800x24")
check=$root/var/check
eval "$(scripts/demo-database.sh "$check" --fresh)"
port=${KV_MYSQL_PORT:-33306}
# Named outright, so that the steps run with a home folder of their own still find the server.
export KV_MYSQL_DIR=${KV_MYSQL_DIR:-${XDG_STATE_HOME:-$HOME/.local/state}/kvistmerket/mysql}
scripts/mysql-local.sh start --port "$port"
socket=$KV_MYSQL_DIR/mysqld.sock
server() { mariadb --no-defaults --socket="$socket" --user="$(id -un)" "$@"; }
server -e "DROP TABLE IF EXISTS kvist.PROSJEKT"

(cd "$check" && KV_SCREENSHOT="$root/docs/whole-program.png" KV_SCREENSHOT_TABLE=PROSJEKT KV_SCREENSHOT_RUN=1 \
   xvfb-run "${screen[@]}" "$root/build/kvist-convert" -autologon)
echo "Picture: docs/whole-program.png"
echo "Columns of PROSJEKT on the private MariaDB:"
server -e "SHOW COLUMNS FROM kvist.PROSJEKT" | head -6

echo "--- A new user's first click on \"Ok\", then the demo again"
export KV_DEMO_DIR=$root/var/check-first
rm -rf "$KV_DEMO_DIR"
xvfb-run "${screen[@]}" scripts/click-sign-on.sh --picture "$root/docs/sign-on-window.png" -- scripts/demo.sh --sign-on
rm -f "$KV_DEMO_DIR/conversion-window.png"
DISPLAY="" scripts/demo.sh
test -s "$KV_DEMO_DIR/conversion-window.png"

echo "--- Settings without a protocol: the error window says what was tried; the demo mends them"
user=${USERNAME:-${USER:-${LOGNAME:-}}}
sed -i 's/^Net_Protokoll=.*$/Net_Protokoll=\r/' "$KV_DEMO_DIR/etc/VELTRINO.INI" "$KV_DEMO_DIR/etc/${user^^}.INI"
xvfb-run "${screen[@]}" scripts/click-sign-on.sh --error "$root/docs/sign-on-error.png"
rm -f "$KV_DEMO_DIR/conversion-window.png"
DISPLAY="" scripts/demo.sh
test -s "$KV_DEMO_DIR/conversion-window.png"
unset KV_DEMO_DIR
echo "Pictures: docs/sign-on-window.png, docs/sign-on-error.png"

echo "--- The README's \"Your own firm's files\", with a home folder of its own"
own=$root/var/check-firm
rm -rf "$own"
mkdir -p "$own/files" "$own/kopi"
cp tests/store/ff2/samples/excust.ff2 tests/store/ff2/samples/orders.ff2 "$own/files/"
server -e "DROP TABLE IF EXISTS kvist.excust, kvist.orders, kvist.Ansatt"
(
  export HOME=$own FF_CONFIG_DIR=$own/flashfiler
  firm=$own/files
  build/kvist-ff alias add FIRMA "$firm"
  build/kvist-ff tables FIRMA
  mkdir -p ~/kvist-firma/etc ~/kvist-firma/run
  printf '[STANDARD]\r\nNet_Alias=FIRMA\r\nNet_Protokoll=Single User\r\n' >~/kvist-firma/etc/VELTRINO.INI
  cp ~/kvist-firma/etc/VELTRINO.INI ~/kvist-firma/etc/"${USER^^}".INI
  # Step 3, with "Ok" in the sign-on window clicked by the mouse: the user's own file signs on.
  KV_SCREENSHOT=$own/firm.png xvfb-run "${screen[@]}" scripts/click-sign-on.sh -- \
    bash -c '(cd ~/kvist-firma/run && "$OLDPWD"/build/kvist-convert)'
  test -s "$own/firm.png"
  test -s ~/kvist-firma/etc/VELTRINO.INI
  build/kvist-ff alias add KOPI "$own/kopi"
  build/kvist-ff import FIRMA --to KOPI
  build/kvist-ff sql FIRMA $(build/kvist-ff tables FIRMA) | build/kvist-ff exec-sql MySQLweb
)
test ! -e VELTRINO.INI || { echo "check-program.sh: VELTRINO.INI was written into the repository" >&2; exit 1; }
tables=$(server -N -e "SELECT COUNT(*) FROM information_schema.TABLES
                        WHERE TABLE_SCHEMA = 'kvist' AND TABLE_NAME IN ('excust', 'orders')")
[ "$tables" = 2 ] || { echo "check-program.sh: the firm's tables did not reach MariaDB" >&2; exit 1; }
echo "The firm's tables excust and orders are on the private MariaDB"

echo "--- The README's command-line examples"
build/kvist-ff --help >/dev/null
build/kvist-ff --version
eval "$(scripts/demo-database.sh var/demo)"
build/kvist-ff sql KVIST PROSJEKT Ansatt | build/kvist-ff exec-sql MySQLweb
[ -n "$(server -N -e "SHOW TABLES FROM kvist LIKE 'Ansatt'")" ] || { echo "check-program.sh: Ansatt is missing" >&2; exit 1; }

echo "--- The README's server commands"
[ "$port" = 33306 ] || { echo "check-program.sh: the README's server commands use port 33306" >&2; exit 1; }
rm -rf var/demo-server
DISPLAY="" scripts/demo.sh --server
test -s var/demo-server/conversion-window.png
server -e "DROP DATABASE IF EXISTS FIRMA"
(
  export FF_CONFIG_DIR=$root/var/check-server
  rm -rf "$FF_CONFIG_DIR" && mkdir -p "$FF_CONFIG_DIR"
  build/kvist-ff alias add KVIST "$root/var/demo/data"
  scripts/mysql-local.sh firm FIRMA --owner --login >/dev/null
  build/kvist-ff alias add FIRMA --server ff_server@127.0.0.1:33306 --database FIRMA
  build/kvist-ff copy-alias KVIST FIRMA
  scripts/mysql-local.sh firm FIRMA --login >/dev/null
  [ "$(build/kvist-ff tables FIRMA | wc -l)" = 32 ] || { echo "check-program.sh: FIRMA lacks tables" >&2; exit 1; }
  ! build/kvist-ff create FIRMA NY NR:Integer 2>/dev/null || { echo "check-program.sh: the daily account made a table" >&2; exit 1; }
)
server -e "DROP DATABASE IF EXISTS FIRMA"

echo "--- The README's first conversion, with a home folder of its own"
new=$root/var/check-first
rm -rf "$new" && mkdir -p "$new/files"
cp tests/store/ff2/samples/excust.ff2 tests/store/ff2/samples/orders.ff2 "$new/files/"
server -e "DROP DATABASE IF EXISTS NYFIRMA"
count_nyfirma() { server -N -e "SELECT COUNT(*) FROM information_schema.TABLES WHERE TABLE_SCHEMA = 'NYFIRMA'"; }
(
  export HOME=$new FF_CONFIG_DIR=$new/flashfiler XDG_DATA_HOME=$new/data
  firm=$new/files
  password=$(scripts/mysql-local.sh firm NYFIRMA --owner | sed -n 's/^password=//p')
  build/kvist-ff alias add GAMLEFILER "$firm"
  mkdir -p ~/kvist-ny/etc ~/kvist-ny/run
  # The password typed at the prompt, here on standard input.
  printf '%s\n' "$password" |
    (cd ~/kvist-ny/run && "$OLDPWD"/build/kvist-ff sql-alias add NYFIRMA --host 127.0.0.1 --port 33306 --database NYFIRMA --user NYFIRMA_eier --ca "$KV_MYSQL_DIR/tls/ca.pem")
  (cd ~/kvist-ny/run && "$OLDPWD"/build/kvist-ff convert GAMLEFILER --to NYFIRMA --dry-run) | grep 'ingenting er endret' >/dev/null
  [ "$(count_nyfirma)" = 0 ] || { echo "check-program.sh: the dry run made tables" >&2; exit 1; }
  (cd ~/kvist-ny/run && "$OLDPWD"/build/kvist-ff convert GAMLEFILER --to NYFIRMA)
)
[ "$(count_nyfirma)" = 2 ] || { echo "check-program.sh: the first conversion did not reach MariaDB" >&2; exit 1; }
server -e "DROP DATABASE IF EXISTS NYFIRMA"

if [ "$long" = 1 ]; then
  echo "--- The README's benchmarks"
  scripts/bench.sh --full
fi
echo "The whole-program check passed"
