#!/usr/bin/env bash
# A German Windows under Wine, as a technician meets the tool from the command prompt: a fresh
# prefix with the German locale (code page 1252, console code page 850), lcdwrite.com and
# lcdwrite.exe of the Windows build, and board folders whose names have umlauts or letters
# outside code page 1252:
#   - whole simulated writes of each folder named on the command line, as a file argument, as a
#     relative path, from inside the folder, and through `start` as a dropped folder is started;
#   - --check of each, and a folder without Quorix.lcd named below the message: whole in a console
#     window, with '?' for what code page 850 lacks in a file;
#   - the journal (read back as CSV, UTF-8) and the port's log (UTF-8 with a byte-order mark) name
#     the folder whole;
#   - text into a pipe or file is in the console's code page (850), so `more` and `type` read it;
#   - --help in German with LANG and LC_ALL unset on the German system, in English on an
#     English one.
# Wine draws no console for a prompt whose output is redirected; a prompt on a pseudo-terminal
# (script) gets one, drawn on the terminal in the host's UTF-8: that is what a console window
# shows. What the prompt printed stays in build-win32/artifacts/names/.
#
#   scripts/test-names-wine.sh
set -euo pipefail
cd "$(dirname "$0")/.."
root="$(pwd)"
dir=build-win32
art="$root/$dir/artifacts/names"

scripts/setup.sh --windows
scripts/windows-configure.sh "$dir"
cmake --build "$dir" -j 2 --target lcdwrite
rm -rf "$art"
mkdir -p "$art"

# The German and the English locale, for Wine to take the system's languages from.
locales="$root/$dir/locale"
mkdir -p "$locales"  # localedef makes the locale's folder, not the folders above it
for locale in de_DE en_US; do
  [ -d "$locales/$locale.UTF-8" ] || localedef -i "$locale" -f UTF-8 "$locales/$locale.UTF-8"
done
export LOCPATH="$locales"

source scripts/wine-env.sh
# A prefix of its own, made fresh under the German locale.
rm -rf "$root/$dir/wine-names"
mkdir -p "$root/$dir/wine-names"
export LC_CTYPE=de_DE.UTF-8 LC_MESSAGES=de_DE.UTF-8
unset LANG LC_ALL
wine_env_start "$root/$dir/wine-names" win32
trap wine_env_stop EXIT
drive="$WINEPREFIX/drive_c"
app='Z:'"$(tr / '\\' <<<"$root/$dir/app")"

failed=0
fail() { echo "names: FAILED: $*" >&2; failed=1; }

# Runs a line in the prompt, as a batch file: its text is ASCII, and the names come in through
# the environment (BOARD, NAME, EMPTY, APP, JOURNAL), whole whatever the code pages; Wine's cmd
# expands them inside each command, after it has read the line's quotes, pipes and
# redirections. Standard output and error together as the prompt shows them, converted from the
# console's code page 850. The status is the line's.
n=0
prompt() {
  n=$((n + 1))
  local status=0
  printf '@echo off\r\n%s\r\nexit /b %%ERRORLEVEL%%\r\n' "$1" >"$drive/lcdwrite-prompt.cmd"
  timeout --kill-after=5 120 wine cmd /c 'C:\lcdwrite-prompt.cmd' </dev/null \
    >"$art/prompt-$n.raw" 2>&1 || status=$?
  tr -d '\r' <"$art/prompt-$n.raw" | iconv -f CP850 -t UTF-8 >"$art/prompt-$n.txt" || true
  { echo "> $1 (BOARD=${BOARD:-})"; sed 's/^/  | /' "$art/prompt-$n.txt"; echo "  status $status"; } \
    >>"$art/prompts.txt"
  return "$status"
}
output() { cat "$art/prompt-$n.txt"; }
# The same in a console window of its own: the prompt on a pseudo-terminal, which Wine draws the
# console on, in UTF-8; its cursor and title sequences removed. A Wine process started during the
# prompt may keep the terminal open after the prompt has ended, so the prompt's end is its status
# written into a file; what it showed is on the terminal by then, and the terminal is closed.
console_prompt() {
  n=$((n + 1))
  local status done="$drive/lcdwrite-status.txt" i pid
  rm -f "$done"
  printf '@echo off\r\n%s\r\necho %%ERRORLEVEL%% >C:\\lcdwrite-status.txt\r\n' "$1" \
    >"$drive/lcdwrite-prompt.cmd"
  script -qec "wine cmd /c 'C:\\lcdwrite-prompt.cmd'" /dev/null </dev/null \
    >"$art/prompt-$n.raw" 2>&1 &
  pid=$!
  for i in $(seq 1200); do
    [ -s "$done" ] && break
    sleep 0.1
  done
  sleep 1
  kill "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  status="$(tr -dc 0-9 <"$done" 2>/dev/null || true)"
  status="${status:-124}"
  sed -E 's/\x1b\[[0-9;?]*[A-Za-z]//g; s/\x1b\][^\x07]*\x07//g' "$art/prompt-$n.raw" |
    tr -d '\r' >"$art/prompt-$n.txt" || true
  { echo "> $1 (BOARD=${BOARD:-}, console)"; sed 's/^/  | /' "$art/prompt-$n.txt"
    echo "  status $status"; } >>"$art/prompts.txt"
  return "$status"
}
# A log's text: UTF-8 after the byte-order mark it must begin with.
log_text() {
  [ "$(head -c 3 "$1" | od -An -tx1 | tr -d ' ')" = efbbbf ] || return 1
  tail -c +4 "$1" | tr -d '\r'
}

export APP="$app" JOURNAL='C:\Platinen\journal.sqlite3'
write='"%APP%\lcdwrite.com" --console --simulate --fast --journal %JOURNAL%'
names=("Kühlraum 4711" "Prüfstand\\Größe 3" "Łódź 12")
for name in "${names[@]}"; do
  unix_name="$(tr '\\' / <<<"$name")"
  export NAME="$name" BOARD="C:\\Platinen\\$name" EMPTY="C:\\Leer\\$name"
  mkdir -p "$drive/Platinen/$unix_name" "$drive/Leer/$unix_name"
  cp app/examples/Quorix.lcd "$drive/Platinen/$unix_name/"
  # Code page 850 holds what it can; the rest is '?'.
  shown="$(python3 -c 'import sys; print(sys.argv[1].encode("cp850", "replace").decode("cp850"))' "$name")"

  status=0
  prompt "$write --log \"%BOARD%\\port.log\" \"%BOARD%\"" || status=$?
  [ "$status" = 0 ] && grep -q "Schreiben erfolgreich beendet!" <<<"$(output)" ||
    fail "$name as an argument: status $status"
  status=0
  prompt "$write \"%BOARD%\\Quorix.lcd\"" || status=$?
  [ "$status" = 0 ] || fail "$name\\Quorix.lcd as an argument: status $status"
  status=0
  prompt "cd /d C:\\Platinen
$write \"%NAME%\"" || status=$?
  [ "$status" = 0 ] || fail "$name as a relative path: status $status"
  status=0
  prompt "cd /d \"%BOARD%\"
$write" || status=$?
  [ "$status" = 0 ] || fail "$name as the current folder: status $status"
  # Dropped onto the program: Explorer starts lcdwrite.exe with the folder; `start /wait` does
  # the same from the prompt. Its log's last line names the exit status.
  status=0
  prompt "start \"\" /wait \"%APP%\\lcdwrite.exe\" --console --simulate --fast --journal %JOURNAL% --log \"%BOARD%\\start.log\" \"%BOARD%\"" ||
    status=$?
  log_text "$drive/Platinen/$unix_name/start.log" 2>/dev/null | tail -n 1 |
    grep -q "Exit-Status 0" || fail "$name dropped (start): no whole write in its log"

  status=0
  prompt "\"%APP%\\lcdwrite.com\" --check \"%BOARD%\"" || status=$?
  [ "$status" = 0 ] && grep -q "Quorix.lcd ist in Ordnung" <<<"$(output)" &&
    grep -q "Gerätetyp an die Platine: 3" <<<"$(output)" || fail "--check of $name: status $status"
  status=0
  prompt "\"%APP%\\lcdwrite.com\" --check \"%EMPTY%\"" || status=$?
  [ "$status" = 2 ] && grep -qxF "Gesucht im Ordner: C:\\Leer\\$shown" <<<"$(output)" ||
    fail "--check of an empty $name: status $status, $(output)"
  status=0
  console_prompt "\"%APP%\\lcdwrite.com\" --check \"%EMPTY%\"" || status=$?
  [ "$status" = 2 ] && grep -qxF "Gesucht im Ordner: C:\\Leer\\$name" <<<"$(output)" ||
    fail "--check of an empty $name in a console window: status $status, $(output)"
  status=0
  prompt "$write --log \"%EMPTY%\\leer.log\" \"%EMPTY%\"" || status=$?
  [ "$status" = 2 ] && grep -qxF "Gesucht im Ordner: C:\\Leer\\$shown" <<<"$(output)" ||
    fail "a write of an empty $name: status $status, $(output)"
  log_text "$drive/Leer/$unix_name/leer.log" | grep -qF " Gesucht im Ordner: C:\\Leer\\$name" ||
    fail "the log of an empty $name does not name it whole"
  status=0
  console_prompt "$write \"%EMPTY%\"" || status=$?
  [ "$status" = 2 ] && grep -qxF "Gesucht im Ordner: C:\\Leer\\$name" <<<"$(output)" ||
    fail "a write of an empty $name in a console window: status $status, $(output)"

  # The port's log: begun with the mark, the run's lines, its end with the status.
  log_text "$drive/Platinen/$unix_name/port.log" 2>/dev/null | tail -n 1 |
    grep -q "Exit-Status 0" || fail "the log in $name does not end with the write's status"
done

# The journal names the file that was read, whole: its CSV is UTF-8 wherever it goes.
prompt '"%APP%\lcdwrite.com" --history --csv --journal %JOURNAL%' || fail "--history --csv: status $?"
tr -d '\r' <"$art/prompt-$n.raw" >"$art/history.csv"
for name in "${names[@]}"; do
  grep -qF "C:\\Platinen\\$name\\Quorix.lcd" "$art/history.csv" ||
    fail "the journal does not name C:\\Platinen\\$name\\Quorix.lcd"
done
# The table for people, through `more`: in 850, with German numbers.
prompt '"%APP%\lcdwrite.com" --history --journal %JOURNAL% | more' || fail "--history | more: status $?"
grep -q "Gerätetyp" <<<"$(output)" || fail "--history | more: the heading is not whole: $(output)"
grep -qE "[0-9],[0-9] s" <<<"$(output)" || fail "--history: durations without a decimal comma"
# Into a file, then `type`.
export BOARD='C:\Platinen\Kühlraum 4711'
prompt '"%APP%\lcdwrite.com" --check "%BOARD%" > C:\Platinen\check.txt
type C:\Platinen\check.txt' || fail "--check > file: status $?"
grep -q "Gerätetyp an die Platine: 3" <<<"$(output)" || fail "type of a redirected --check: $(output)"
echo "names: ${#names[@]} folders written 5 ways each, checked, named when empty (whole in a" \
  "console window and the log); journal, pipe and file"

# Several boards at once on the simulated machine of board/scenarios/line.scenario (four
# converters; the one behind C4HN8VTE is pulled while its board is written): --list shows them;
# two named with --converter SERIAL=FOLDER are written; --all in the console writes three and
# ends with the pulled board's status 4, each board's log (console-SERIAL.log) ending with its
# own status; and --all in the window (lcdwrite.exe) ends the same way, its dialogs (the pulled
# board's error, the summary) closed as a person would, its window photographed.
line_serials=(A5XK3RJT B7QW2MZK C4HN8VTE D9LP5SXF)
for serial in "${line_serials[@]}"; do
  mkdir -p "$drive/Linie/$serial"
  cp app/examples/Quorix.lcd "$drive/Linie/$serial/"
done
export SCENARIO='Z:'"$(tr / '\\' <<<"$root/board/scenarios/line.scenario")" LINE='C:\Linie'
line='"%APP%\lcdwrite.com" --simulate="%SCENARIO%" --fast --no-journal'
status=0
prompt '"%APP%\lcdwrite.com" --simulate="%SCENARIO%" --list' || status=$?
[ "$status" = 0 ] && [ "$(grep -cE 'A5XK3RJT|B7QW2MZK|C4HN8VTE|D9LP5SXF' <<<"$(output)")" = 4 ] ||
  fail "--list of the line: status $status, $(output)"
status=0
prompt "$line --console --converter B7QW2MZK=%LINE%\\B7QW2MZK --converter D9LP5SXF=%LINE%\\D9LP5SXF" ||
  status=$?
[ "$status" = 0 ] && grep -q "2 von 2 Platinen geschrieben" <<<"$(output)" ||
  fail "two boards by --converter: status $status, $(output)"
status=0
prompt "cd /d %LINE%
$line --console --all --log %LINE%\\console.log" || status=$?
[ "$status" = 4 ] &&
  grep -qF "3 von 4 Platinen geschrieben; nicht geschrieben: C4HN8VTE (Status 4)" <<<"$(output)" ||
  fail "--all in the console: status $status, $(output)"
line_logs() {  # PREFIX: each board's log ends with its own status
  for serial in "${line_serials[@]}"; do
    local want=0
    [ "$serial" = C4HN8VTE ] && want=4
    tail -n 1 "$drive/Linie/$1-$serial.log" 2>/dev/null | grep -q "Exit-Status $want" ||
      fail "$1-$serial.log does not end with status $want"
  done
}
line_logs console
# The window: lcdwrite.exe as Explorer or a shortcut starts it.
rm -f "$art/line-window.status"
(
  cd "$drive/Linie"
  status=0
  timeout --kill-after=5 180 wine "$root/$dir/app/lcdwrite.exe" "--simulate=$SCENARIO" --fast \
    --no-journal --all --log 'C:\Linie\window.log' >"$art/line-window.out" 2>&1 || status=$?
  echo "$status" >"$art/line-window.status"
) &
line_pid=$!
line_dialogs=""
line_dialog_ids=" "
deadline=$(( $(date +%s) + 180 ))
while [ ! -f "$art/line-window.status" ] && [ "$(date +%s)" -lt "$deadline" ]; do
  if [ ! -f "$art/line-window.png" ] &&
     xdotool search --name '^LCD Konfiguration - 4 Platinen$' >/dev/null 2>&1; then
    sleep 0.3
    import -window root "$art/line-window.png" 2>/dev/null || true
  fi
  for caption in Fehler Warnung Information; do
    id="$(xdotool search --name "^$caption\$" 2>/dev/null | head -n 1 || true)"
    [ -n "$id" ] || continue
    # A box still closing is the same box.
    if [ "${line_dialog_ids#* $id }" = "$line_dialog_ids" ]; then
      line_dialog_ids="$line_dialog_ids$id "
      line_dialogs="$line_dialogs $caption"
      import -window root "$art/line-dialog-$caption.png" 2>/dev/null || true
    fi
    xdotool windowactivate "$id" >/dev/null 2>&1 || true
    xdotool key --window "$id" Return >/dev/null 2>&1 || true
    for _ in $(seq 50); do
      xdotool search --name "^$caption\$" >/dev/null 2>&1 || break
      sleep 0.1
    done
  done
  sleep 0.2
done
wait "$line_pid" || true
status="$(cat "$art/line-window.status" 2>/dev/null || echo none)"
[ "$status" = 4 ] || fail "--all in the window: status $status"
[ "$line_dialogs" = " Fehler Warnung" ] || fail "--all in the window: dialogs$line_dialogs"
line_logs window
echo "names: a line of four boards listed, two by --converter, all in the console and in the window"

# --help follows the system's language, with LANG and LC_ALL unset.
prompt '"%APP%\lcdwrite.com" --help' || fail "--help: status $?"
head -n 1 "$art/prompt-$n.txt" | grep -q "^Aufruf: lcdwrite" ||
  fail "--help on the German system: $(head -n 1 "$art/prompt-$n.txt")"
export LC_CTYPE=en_US.UTF-8 LC_MESSAGES=en_US.UTF-8
wine_env_restart
prompt '"%APP%\lcdwrite.com" --help' || fail "--help: status $?"
head -n 1 "$art/prompt-$n.txt" | grep -q "^Usage: lcdwrite" ||
  fail "--help on the English system: $(head -n 1 "$art/prompt-$n.txt")"
echo "names: --help in German on the German system and in English on the English one"

if [ "$failed" = 0 ]; then
  echo "names: passed"
else
  cat "$art/prompts.txt" >&2
  exit 1
fi
