#!/usr/bin/env bash
# The Windows packages as a user meets them, under Wine: builds the zip and the NSIS installer
# and checks what the installer shows (German on a German system, English elsewhere) and its
# version information; installs silently (/S) and checks the Start-menu entries and the
# uninstall entry's values and types; installs again into the same and into another folder and
# checks that one installation is left; runs the installed program from the command prompt
# (`wine cmd /c`, the only place Wine shows what a real prompt would: it hands its own terminal
# to window programs) for a whole simulated write of a folder named on the command line, a
# refused command line, a folder without Quorix.lcd, and a write recorded in a journal and
# read back with --history; uninstalls silently and checks that
# nothing the installer made is left: no file, no folder, no Start-menu entry, no registry key.
# Then the German wizard page by page at 96 and 144 pixels per inch: screenshots of every page
# (build-win32/artifacts/installer/), and every text of every page must fit its control
# (tests/packaging/wizard_pages.cpp reads them); the installer's and the uninstaller's manifest
# and description are their own.
#
#   scripts/test-installer-wine.sh
#
# Uses build-win32 and its private Wine prefix (scripts/wine-env.sh), as scripts/test-windows.sh.
set -euo pipefail
cd "$(dirname "$0")/.."
root="$(pwd)"
dir=build-win32

scripts/setup.sh --windows --release
# CPack packs the files with a library that reads file names in the locale's character set, and
# makensis refuses an argument it cannot read in it: in the C locale (ASCII) a checkout below
# "Prüfstand 2" can be neither packed nor made an installer. UTF-8, as the names are written.
if [ "$(locale charmap 2>/dev/null)" != UTF-8 ]; then
  if [ -n "${LC_ALL:-}" ]; then export LC_ALL=C.UTF-8; else export LC_CTYPE=C.UTF-8; fi
fi
scripts/windows-configure.sh "$dir"
cmake --build "$dir" -j 2 --target lcdwrite
rm -f "$dir"/lcdwrite-*-win32.exe "$dir"/lcdwrite-*-win32.zip
(cd "$dir" && cpack -G "ZIP;NSIS" >cpack.log 2>&1) || { cat "$dir/cpack.log"; exit 1; }
installer="$(ls "$root/$dir"/lcdwrite-*-win32.exe)"
zip="$(ls "$root/$dir"/lcdwrite-*-win32.zip)"
echo "installer: $(basename "$installer") $(stat -c %s "$installer") bytes, $(basename "$zip") $(stat -c %s "$zip") bytes"

failed=0
fail() { echo "installer: FAILED: $*" >&2; failed=1; }
art="$root/$dir/artifacts/installer"
rm -rf "$art"
mkdir -p "$art"
# The helper that reads the wizard's pages, and the German locale the wizard takes its language
# from.
wizard_pages="$root/$dir/wizard_pages.exe"
i686-w64-mingw32-g++-posix -std=c++20 -O2 -static tests/packaging/wizard_pages.cpp \
  -o "$wizard_pages" -lgdi32 -lshell32
locales="$root/$dir/locale"
mkdir -p "$locales"  # localedef makes the locale's folder, not the folders above it
[ -d "$locales/de_DE.UTF-8" ] || localedef -i de_DE -f UTF-8 "$locales/de_DE.UTF-8"

# The zip holds the same programs and the example.
listing="$(cmake -E tar tf "$zip")"
for f in lcdwrite.exe lcdwrite.com examples/Quorix.lcd scenarios/healthy.scenario; do
  grep -qx "lcdwrite-[0-9.]*-win32/$f" <<<"$listing" || fail "the zip has no $f"
done

source scripts/wine-env.sh
wine_env_start "$root/$dir" win32
trap wine_env_stop EXIT
drive="$WINEPREFIX/drive_c"
work='C:\lcdwrite-installer-test'
work_unix="$drive/lcdwrite-installer-test"
rm -rf "$work_unix"

# What exists before, to compare with what is left after the uninstall. Temporary folders are
# left out: Wine's own files come and go there, and the uninstaller runs from a copy there, which
# the system deletes later. The registry is compared as its list of keys.
snapshot_files() {
  (cd "$drive" && find . -path './users/*/Temp' -prune -o -path './users/*/AppData/Local/Temp' -prune \
    -o -path './windows/temp' -prune -o -print | sort)
}
snapshot_keys() {
  wine_env_restart  # the wineserver writes the registry to its files when it ends
  grep -h '^\[' "$WINEPREFIX/system.reg" "$WINEPREFIX/user.reg" | sed 's/ [0-9]*$//' | sort
}
snapshot_files >"$root/$dir/installer-files.before"
snapshot_keys >"$root/$dir/installer-keys.before"
if grep -i lcdwrite "$root/$dir/installer-files.before" "$root/$dir/installer-keys.before"; then
  echo "installer: the Wine prefix holds lcdwrite already (an earlier run?); remove $WINEPREFIX" >&2
  exit 1
fi

# What NSIS shows: the wizard in German on a German system and in English elsewhere (its
# caption, read from the window), and no licence page to agree to (the first page is the
# welcome page). The window is closed by ending its program.
wizard_caption() {
  local lang="$1" caption="" window
  # A locale this machine lacks leaves Wine reading the host's file names as ASCII: the installer
  # goes by a Windows path, from the prefix's temporary folder (left out of the snapshots).
  cp "$installer" "$drive/windows/temp/lcdwrite-setup.exe"
  LANG="$lang" LC_ALL="$lang" timeout 60 wine 'C:\windows\temp\lcdwrite-setup.exe' >/dev/null 2>&1 &
  local pid=$!
  window="$(timeout 30 xdotool search --sync --name "LCD Konfiguration schreiben ${version}" 2>/dev/null | head -n 1)" || true
  if [ -n "$window" ]; then
    caption="$(xdotool getwindowname "$window")"
    xdotool windowkill "$window" 2>/dev/null || true
  fi
  wait "$pid" 2>/dev/null || true
  echo "$caption"
}
version="$(basename "$installer" | sed 's/^lcdwrite-\(.*\)-win32.exe$/\1/')"
caption="$(wizard_caption de_DE.UTF-8)"
[ "$caption" = "Installation von LCD Konfiguration schreiben $version" ] ||
  fail "the wizard on a German system is captioned \"$caption\""
caption="$(wizard_caption en_US.UTF-8)"
[ "$caption" = "LCD Konfiguration schreiben $version Setup" ] ||
  fail "the wizard on an English system is captioned \"$caption\""
grep -qa "No license provided" "$installer" && fail "the installer still carries the default licence text"

# Version information of a Windows program: its ASCII strings (UTF-16) as "Name=value" lines,
# and whether it holds a text in UTF-16 (the copyright sign is no ASCII).
version_strings() {
  strings -el "$1" | grep -A1 -x -e CompanyName -e ProductVersion | grep -v -- '^--$' | paste -d= - -
}
holds_utf16() {
  local pattern
  pattern="$(printf '%s' "$2" | iconv -f UTF-8 -t UTF-16LE | od -An -tx1 -v | tr -d ' \n' |
    sed 's/\(..\)/\\x\1/g')"
  LC_ALL=C grep -qaP "$pattern" "$1"
}
copyright="Copyright © $(date -u +%Y) the lcdwrite developers"
installer_version="$(version_strings "$installer")"
for key in CompanyName=lcdwrite ProductVersion="$version"; do
  grep -qx "$key" <<<"$installer_version" || fail "the installer's version information lacks $key"
done
holds_utf16 "$installer" "$copyright" || fail "the installer's version information lacks \"$copyright\""
# Its own manifest, not the installer system's; its description says what it does.
description() { strings -el "$1" | grep -A1 -x FileDescription | tail -n 1; }
grep -qa 'name="lcdwrite.Setup"' "$installer" || fail "the installer has not its own manifest"
grep -qa "Nullsoft Install System" "$installer" && fail "the installer's manifest names the installer system"
[ "$(description "$installer")" = "LCD Konfiguration schreiben: Installation" ] ||
  fail "the installer's description is \"$(description "$installer")\""

# Silent install into the default folder.
timeout 120 wine "$installer" /S || fail "the installer ended with $?"
installed="$drive/Program Files/lcdwrite"
for f in lcdwrite.exe lcdwrite.com Uninstall.exe examples/Quorix.lcd scenarios/no-board.scenario; do
  [ -f "$installed/$f" ] || fail "not installed: $f"
done
[ "$(version_strings "$installed/Uninstall.exe")" = "$installer_version" ] &&
  holds_utf16 "$installed/Uninstall.exe" "$copyright" ||
  fail "the uninstaller's version information differs from the installer's"
grep -qa 'name="lcdwrite.Setup"' "$installed/Uninstall.exe" &&
  ! grep -qa "Nullsoft Install System" "$installed/Uninstall.exe" ||
  fail "the uninstaller has not its own manifest"
[ "$(description "$installed/Uninstall.exe")" = "LCD Konfiguration schreiben: Entfernen" ] ||
  fail "the uninstaller's description is \"$(description "$installed/Uninstall.exe")\""
menu="$(find "$drive" -path '*Start Menu/Programs/LCD Konfiguration schreiben' -type d | head -n 1)"
for entry in "LCD Konfiguration schreiben.lnk" "LCD Konfiguration schreiben deinstallieren.lnk"; do
  [ -f "$menu/$entry" ] || fail "no Start-menu entry \"$entry\""
done
[ "$(ls "$menu" 2>/dev/null | wc -l)" = 2 ] || fail "the Start-menu folder holds more: $(ls "$menu")"
# The tool starts in the user's documents folder, not in its own.
tr -d '\0' <"$menu/LCD Konfiguration schreiben.lnk" | grep -qF '%USERPROFILE%\Documents' ||
  fail "the Start-menu entry does not start in the documents folder"

# The uninstall entry: every value with its type.
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\lcdwrite'
check_uninstall_entry() {
  local folder="$1" entry
  entry="$(timeout 60 wine reg query "$uninstall_key" 2>/dev/null | tr -d '\r')"
  local expected=(
    "DisplayName REG_SZ LCD Konfiguration schreiben"
    "DisplayVersion REG_SZ $version"
    "Publisher REG_SZ lcdwrite"
    "DisplayIcon REG_SZ $folder\lcdwrite.exe"
    "InstallLocation REG_SZ $folder"
    "UninstallString REG_SZ \"$folder\Uninstall.exe\""
    "QuietUninstallString REG_SZ \"$folder\Uninstall.exe\" /S"
    "NoModify REG_DWORD 0x1"
    "NoRepair REG_DWORD 0x1"
  )
  local line
  for line in "${expected[@]}"; do
    awk '{$1=$1; print}' <<<"$entry" | grep -qxF "$line" || fail "uninstall entry: no \"$line\""
  done
  local size
  size="$(awk '$1 == "EstimatedSize" && $2 == "REG_DWORD" {print $3}' <<<"$entry")"
  [ -n "$size" ] && [ "$((size))" -gt 100 ] ||
    fail "uninstall entry: no EstimatedSize in KiB as REG_DWORD (\"$size\")"
}
check_uninstall_entry 'C:\Program Files\lcdwrite'

# Installed again, into the same folder and then into another one: one installation, one
# uninstall entry, and a file the user put into the old folder stays there.
echo "Notizen" >"$installed/Notizen.txt"
timeout 120 wine "$installer" /S || fail "the installer over the installation ended with $?"
[ -f "$installed/lcdwrite.exe" ] && [ -f "$installed/Uninstall.exe" ] || fail "the update is not installed"
timeout 120 wine "$installer" /S '/D=C:\lcdwrite-neu' || fail "the installer into another folder ended with $?"
moved="$drive/lcdwrite-neu"
[ -f "$moved/lcdwrite.exe" ] && [ -f "$moved/Uninstall.exe" ] || fail "not installed into the other folder"
left="$(cd "$installed" 2>/dev/null && find . -mindepth 1 | sort | tr '\n' ' ')"
[ "$left" = "./Notizen.txt " ] || fail "the old folder holds more than the user's file: $left"
[ "$(timeout 60 wine reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' 2>/dev/null |
     tr -d '\r' | grep -ci 'Uninstall\\lcdwrite')" = 1 ] || fail "not exactly one uninstall entry"
check_uninstall_entry 'C:\lcdwrite-neu'
rm -rf "$installed"
installed="$moved"
installed_win='C:\lcdwrite-neu'
echo "installer: German and English wizard, uninstall entry, one installation after two updates"

# From the command prompt, in a folder holding the example: "lcdwrite" is lcdwrite.com (PATHEXT
# puts .COM first), which runs lcdwrite.exe and hands back its output and exit status.
mkdir -p "$work_unix"
cp "$installed/examples/Quorix.lcd" "$work_unix/"
# The installed folder goes on the prompt's PATH, as a user would add it.
# The prompt is in C:\; the folder with the configuration is named on the command line.
prompt() {
  timeout --kill-after=5 120 wine cmd /c \
    "set PATH=$installed_win;%PATH%&& cd /d C:\\&& lcdwrite $*" </dev/null 2>&1 |
    tr -d '\r'
  return "${PIPESTATUS[0]}"
}
status=0
out="$(prompt --console --simulate --fast "$work")" || status=$?
echo "$out" | sed 's/^/  | /'
[ "$status" = 0 ] || fail "the simulated write from the prompt ended with $status"
grep -q "Schreiben erfolgreich beendet!" <<<"$out" || fail "the prompt did not show the write's end"
status=0
out="$(prompt --frobnicate)" || status=$?
[ "$status" = 64 ] || fail "a refused command line ended with $status, not 64"
grep -q -- "--frobnicate" <<<"$out" || fail "the prompt did not show why the command line was refused"
# A folder without Quorix.lcd: the line below the message names it.
mkdir -p "$work_unix/leer"
status=0
out="$(prompt --console --simulate --fast "$work\\leer")" || status=$?
[ "$status" = 2 ] || fail "a folder without Quorix.lcd ended with $status, not 2"
grep -qxF "Gesucht im Ordner: $work\\leer" <<<"$out" || fail "the folder searched is not named: $out"
echo "installer: from the prompt: write status 0, refused command line 64, empty folder 2"
# The journal: a simulated write recorded in a journal file named on the command line, read back
# with --history; a PostgreSQL journal is not part of the Windows build.
status=0
out="$(prompt --console --simulate --fast --journal "$work\\journal.sqlite3" "$work")" || status=$?
[ "$status" = 0 ] || fail "the journalled write ended with $status"
[ -s "$work_unix/journal.sqlite3" ] || fail "the journalled write left no journal.sqlite3"
status=0
out="$(prompt --history --journal "$work\\journal.sqlite3")" || status=$?
echo "$out" | sed 's/^/  | /'
[ "$status" = 0 ] || fail "--history ended with $status"
grep -q "1234567 .*COM3 (sim.) *0 geschrieben" <<<"$out" || fail "--history did not list the write"
status=0
out="$(prompt --console --simulate --fast --journal postgresql://bench@127.0.0.1/journal "$work")" ||
  status=$?
[ "$status" = 64 ] || fail "a PostgreSQL journal ended with $status, not 64"
grep -q "nicht verf" <<<"$out" || fail "a PostgreSQL journal was not refused as not available"
echo "installer: the journal: written and read back; PostgreSQL refused with status $status"
rm -rf "$work_unix"

# Silent uninstall. The uninstaller copies itself to the temporary folder and runs from there
# (so it can delete itself), so the command returns at once; wait for the folder to go.
timeout 60 wine "$installed_win\\Uninstall.exe" /S || fail "the uninstaller ended with $?"
for _ in $(seq 120); do
  [ -e "$installed" ] || break
  sleep 0.5
done
[ ! -e "$installed" ] || fail "the installation folder is still there"
snapshot_files >"$root/$dir/installer-files.after"
snapshot_keys >"$root/$dir/installer-keys.after"
if ! diff "$root/$dir/installer-files.before" "$root/$dir/installer-files.after" >"$root/$dir/installer-files.diff"; then
  cat "$root/$dir/installer-files.diff" >&2
  fail "files differ from before the install"
fi
if ! diff "$root/$dir/installer-keys.before" "$root/$dir/installer-keys.after" >"$root/$dir/installer-keys.diff"; then
  cat "$root/$dir/installer-keys.diff" >&2
  fail "registry keys differ from before the install"
fi

# wizard_walk DPI: the German wizard at DPI pixels per inch, page by page: each page's texts
# (wizard_pages.exe) and a screenshot into $art, a failure for a text that is cut; installs
# into the default folder on the way (the caller uninstalls).
wizard_walk() {
  local dpi="$1" caption="Installation von LCD Konfiguration schreiben" page texts status
  timeout 60 wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f \
    >/dev/null 2>&1
  wine_env_restart
  LC_CTYPE=de_DE.UTF-8 LC_MESSAGES=de_DE.UTF-8 LOCPATH="$locales" timeout 180 wine "$installer" \
    >/dev/null 2>&1 &
  local pid=$!
  # Each page and a text that only it shows (the finish page comes after the installation).
  local pages=("1-willkommen:Willkommen zur Installation" "2-zielordner:Zielverzeichnis"
               "3-startmenue:Startmen" "4-fertig:abgeschlossen")
  local entry mark
  for entry in "${pages[@]}"; do
    page="${entry%%:*}" mark="${entry#*:}"
    for _ in $(seq 120); do
      status=0
      texts="$(timeout 60 wine "$wizard_pages" "$caption" texts 2>&1)" || status=$?
      grep -q "$mark" <<<"$texts" && break
      sleep 0.5
    done
    echo "$texts" >"$art/wizard-$dpi-$page.txt"
    import -window root "$art/wizard-$dpi-$page.png" 2>/dev/null || true
    [ "$status" = 0 ] || fail "at $dpi dpi the page $page has a text that is cut: $(grep -P '\tcut\t' <<<"$texts")"
    timeout 60 wine "$wizard_pages" "$caption" next >/dev/null 2>&1 || fail "no next button on $page"
  done
  wait "$pid" 2>/dev/null || true
  for entry in "${pages[@]}"; do
    grep -q "${entry#*:}" "$art/wizard-$dpi-${entry%%:*}.txt" || fail "no page ${entry%%:*} at $dpi dpi"
  done
}
for dpi in 96 144; do
  wizard_walk "$dpi"
  timeout 60 wine 'C:\Program Files\lcdwrite\Uninstall.exe' /S || fail "the uninstaller after the wizard ended with $?"
  for _ in $(seq 120); do
    [ -e "$drive/Program Files/lcdwrite/lcdwrite.exe" ] || break
    sleep 0.5
  done
done
timeout 60 wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d 96 /f >/dev/null 2>&1
echo "installer: the wizard's pages at 96 and 144 dpi, every text whole (screenshots in $art)"

if [ "$failed" = 0 ]; then
  echo "installer: passed"
else
  exit 1
fi
