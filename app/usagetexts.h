// The command line's own texts, in English and German (UTF-8, printed as they are): --help and
// the complaints about a command line, which follow the user's locale. The texts of a run are
// in texts.h.
#pragma once

namespace app::usage {

struct Text {
  const char* english;
  const char* german;
};

inline constexpr Text kUnknownArgument{"unknown argument: %s", "unbekanntes Argument: %s"};
inline constexpr Text kRepeated{"%s is given more than once", "%s ist mehrfach angegeben"};
inline constexpr Text kNeedsValue{"%s needs a value", "%s braucht einen Wert"};
inline constexpr Text kSimulateNeedsFile{"--simulate= needs a scenario file",
                                         "--simulate= braucht eine Szenariodatei"};
inline constexpr Text kOnlyWithSimulate{"%s only goes with --simulate",
                                        "%s geht nur zusammen mit --simulate"};
inline constexpr Text kNotWithCheck{"--check does not go with %s: it only checks Quorix.lcd",
                                    "--check geht nicht zusammen mit %s: es pr\u00fcft nur "
                                    "Quorix.lcd"};
inline constexpr Text kBadPort{
    "--port %s: not a serial port's name (for example COM3, \\\\.\\COM3 or /dev/ttyUSB0)",
    "--port %s: kein Name einer seriellen Schnittstelle (zum Beispiel COM3, \\\\.\\COM3 oder "
    "/dev/ttyUSB0)"};

// The converters' options.
inline constexpr Text kConverterAndPort{"--converter and --port exclude each other",
                                        "--converter und --port schlie\u00dfen sich aus"};
inline constexpr Text kConverterOnlyForWrite{
    "--converter only goes with a write (not with --check or --history)",
    "--converter geht nur zusammen mit einem Schreiben (nicht mit --check oder --history)"};
inline constexpr Text kAllAndPort{"--all and --port exclude each other",
                                  "--all und --port schlie\u00dfen sich aus"};
inline constexpr Text kAllOnlyForWrite{
    "--all only goes with a write (not with --check or --history)",
    "--all geht nur zusammen mit einem Schreiben (nicht mit --check oder --history)"};
inline constexpr Text kBadConverter{
    "--converter %s: give the converter's serial, or SERIAL=FOLDER for its board's own Quorix.lcd",
    "--converter %s: die Seriennummer des USB-Wandlers angeben, oder SERIENNR=ORDNER f\u00fcr "
    "die eigene Quorix.lcd seiner Platine"};
inline constexpr Text kConverterTwice{"--converter %s is given more than once",
                                      "--converter %s ist mehrfach angegeben"};
inline constexpr Text kConverterPlaceTwice{
    "%s: the configuration is already given with --converter SERIAL=FOLDER",
    "%s: die Konfiguration ist schon mit --converter SERIENNR=ORDNER angegeben"};
// Several boards from one Quorix.lcd: each would get the same serial number. %s: the boards'
// converters.
inline constexpr Text kOneFileForSeveral{
    "%s: several boards would be written from one Quorix.lcd, and each would get the same "
    "serial number. Give each board its own: --converter SERIAL=FOLDER for each one, or a "
    "folder per board named by its converter's serial (FOLDER/SERIAL/Quorix.lcd) in the "
    "folder given (or the current one).",
    "%s: mehrere Platinen w\u00fcrden aus einer Quorix.lcd geschrieben, und jede bek\u00e4me "
    "dieselbe Seriennummer. Jeder Platine ihre eigene geben: --converter SERIENNR=ORDNER "
    "f\u00fcr jede, oder je Platine einen Ordner mit der Seriennummer ihres USB-Wandlers "
    "(ORDNER/SERIENNR/Quorix.lcd) im angegebenen (oder im aktuellen) Ordner."};
inline constexpr Text kSameConverterTwice{
    "--converter %s: that converter is already named",
    "--converter %s: dieser USB-Wandler ist schon genannt"};
inline constexpr Text kLineNotAvailable{
    "%s: writing several boards at once is not available in this build",
    "%s: mehrere Platinen auf einmal schreiben gibt es in diesem Build nicht"};
inline constexpr Text kNotWithList{"--list does not go with %s: it only lists the converters",
                                   "--list geht nicht zusammen mit %s: es zeigt nur die USB-Wandler"};
// Appended to kUsage, before the journal's part.
inline constexpr Text kUsageLine{
    "\n"
    "Converters: with several attached the search takes the first one and says so.\n"
    "  --list               print the attached converters (port, serial, latency, held\n"
    "                       by); with --simulate those of the simulated machine\n"
    "  --converter SERIAL   write the board behind the converter with this serial (or,\n"
    "                       without one, its USB location as --list shows it), wherever\n"
    "                       the system put its port\n"
    "  --json               no window: every status, progress step, dialog and the result\n"
    "                       as one JSON object a line, for scripts (see the manual)\n"
    "Several boards at once, one process each (exit status: the worst board's):\n"
    "  --all                every attached converter's board\n"
    "  --converter SERIAL=FOLDER  (repeatable) that board's Quorix.lcd from FOLDER (a file\n"
    "                       or folder); else FOLDER/SERIAL/ in the folder given, if it\n"
    "                       exists. One Quorix.lcd for several boards is refused (64)\n",
    "\n"
    "USB-Wandler: sind mehrere angeschlossen, nimmt die Suche den ersten und sagt es.\n"
    "  --list               die angeschlossenen USB-Wandler zeigen (Port, Seriennummer,\n"
    "                       Latenz, belegt von); mit --simulate die der simulierten Maschine\n"
    "  --converter SERIENNR die Platine hinter dem USB-Wandler mit dieser Seriennummer\n"
    "                       schreiben (oder, ohne eine, seinem USB-Ort wie --list ihn\n"
    "                       zeigt), wo immer das System seinen Port hingelegt hat\n"
    "  --json               kein Fenster: jeder Status, Fortschritt, jede Meldung und das\n"
    "                       Ergebnis als ein JSON-Objekt je Zeile, f\u00fcr Skripte\n"
    "Mehrere Platinen auf einmal, je ein Prozess (Exit-Status: der der schlechtesten):\n"
    "  --all                die Platinen aller angeschlossenen USB-Wandler\n"
    "  --converter SERIENNR=ORDNER  (mehrfach) Quorix.lcd dieser Platine aus ORDNER (Datei\n"
    "                       oder Ordner); sonst ORDNER/SERIENNR/ im angegebenen Ordner,\n"
    "                       wenn es ihn gibt. Eine Quorix.lcd f\u00fcr mehrere: abgelehnt (64)\n"};

// The journal's options.
inline constexpr Text kOnlyWithHistory{"%s only goes with --history",
                                       "%s geht nur zusammen mit --history"};
inline constexpr Text kNotWithHistory{"--history does not go with %s: it only prints the journal",
                                      "--history geht nicht zusammen mit %s: es zeigt nur das "
                                      "Journal"};
inline constexpr Text kJournalTwice{"--journal and --no-journal exclude each other",
                                    "--journal und --no-journal schlie\u00dfen sich aus"};
inline constexpr Text kBadHistoryCount{
    "--history %s: not a number of records (1 or more)",
    "--history %s: keine Anzahl von Eintr\u00e4gen (1 oder mehr)"};
inline constexpr Text kNotWithJournalSetup{
    "--journal-setup does not go with %s: it only makes the journal's tables",
    "--journal-setup geht nicht zusammen mit %s: es legt nur die Tabellen des Journals an"};
// Appended to kUsage.
inline constexpr Text kUsageJournal{
    "\n"
    "The journal: every write that reaches a board is recorded (SQLite, by default in\n"
    "$XDG_DATA_HOME/lcdwrite/journal.sqlite3, on Windows %LOCALAPPDATA%\\lcdwrite\\...;\n"
    "runs with --simulate only with --journal).\n"
    "  --journal FILE|URI   record into FILE or a PostgreSQL database (postgresql://...);\n"
    "                       also the variable LCDWRITE_JOURNAL. Exit status 64 when it\n"
    "                       cannot be opened\n"
    "  --no-journal         record nothing\n"
    "  --history [N]        print the last N records (20)\n"
    "  --serial S           with --history: only the records of serial number S\n"
    "  --csv                with --history: every column as CSV (every record unless N)\n"
    "  --journal-setup URI  make the tables of a PostgreSQL journal (for its administrator;\n"
    "                       the benches then need only SELECT, INSERT and UPDATE)\n",
    "\n"
    "Das Journal: jeder Lauf, der eine Platine erreicht, wird festgehalten (SQLite,\n"
    "normalerweise in $XDG_DATA_HOME/lcdwrite/journal.sqlite3, unter Windows\n"
    "%LOCALAPPDATA%\\lcdwrite\\...; L\u00e4ufe mit --simulate nur mit --journal).\n"
    "  --journal DATEI|URI  in DATEI oder eine PostgreSQL-Datenbank (postgresql://...)\n"
    "                       schreiben; auch die Variable LCDWRITE_JOURNAL. Exit-Status 64,\n"
    "                       wenn es sich nicht \u00f6ffnen l\u00e4sst\n"
    "  --no-journal         nichts festhalten\n"
    "  --history [N]        die letzten N Eintr\u00e4ge zeigen (20)\n"
    "  --serial S           mit --history: nur die Eintr\u00e4ge der Seriennummer S\n"
    "  --csv                mit --history: alle Spalten als CSV (alle Eintr\u00e4ge, wenn\n"
    "                       kein N)\n"
    "  --journal-setup URI  die Tabellen eines PostgreSQL-Journals anlegen (f\u00fcr seinen\n"
    "                       Verwalter; die Werkb\u00e4nke brauchen dann nur SELECT, INSERT\n"
    "                       und UPDATE)\n"};

inline constexpr Text kUsage{
    "Usage: lcdwrite [options] [FILE|FOLDER]\n"
    "Writes the configuration in Quorix.lcd (current directory) into the LCD controller\n"
    "board: finds the USB-serial converter's port, resets the board, clears its counters,\n"
    "programs serial number, device type and the 120 parameters.\n"
    "FILE: the configuration file to write instead; FOLDER: the folder with Quorix.lcd.\n"
    "\n"
    "Options (none: the tool runs as always, in a window):\n"
    "  --console            no window: status and dialogs on the terminal\n"
    "  --simulate[=FILE]    run against the simulated machine and board (FILE: a\n"
    "                       scenario; without it a healthy board)\n"
    "  --fast               with --simulate: virtual clock, no real waiting\n"
    "  --sim-report FILE    with --simulate: write what the board stored as JSON\n"
    "  --log FILE           log the serial port's traffic to FILE\n"
    "  --port NAME          skip the search: use port NAME (for example COM3, \\\\.\\COM3,\n"
    "                       on Linux also /dev/ttyUSB0)\n"
    "  --check              check Quorix.lcd and show what would be written; touch no port\n"
    "  --version            print the version\n"
    "  --help               print this text\n"
    "A value may also follow its option after '=' (--log=FILE).\n"
    "\n"
    "Exit status: 0 the board was written; 1 a board operation or the reset handshake\n"
    "failed; 2 Quorix.lcd missing or refused; 3 no port found or opened, or the window\n"
    "was closed first; 4 the serial port reported an error and the run stopped;\n"
    "64 a bad command line, or an output file (--log, --sim-report) that cannot be written;\n"
    "70 an unexpected internal error, or no thread or memory to be had; 74 this output\n"
    "could not be written (instead of 0); 129 hung up (SIGHUP); 130 interrupted (Ctrl+C);\n"
    "131 quit (SIGQUIT); 143 terminated (SIGTERM).\n",
    "Aufruf: lcdwrite [Optionen] [DATEI|ORDNER]\n"
    "Schreibt die Konfiguration aus Quorix.lcd (aktueller Ordner) in die LCD-Platine: findet\n"
    "den Port des USB-Seriell-Wandlers, setzt die Platine zur\u00fcck, l\u00f6scht ihre Z\u00e4hler,\n"
    "programmiert Seriennummer, Ger\u00e4tetyp und die 120 Parameter.\n"
    "DATEI: die stattdessen zu schreibende Konfigurationsdatei; ORDNER: der Ordner mit\n"
    "Quorix.lcd.\n"
    "\n"
    "Optionen (ohne: das Programm l\u00e4uft wie immer, im Fenster):\n"
    "  --console            kein Fenster: Status und Meldungen im Terminal\n"
    "  --simulate[=DATEI]   gegen die simulierte Maschine und Platine (DATEI: ein\n"
    "                       Szenario; ohne sie eine fehlerfreie Platine)\n"
    "  --fast               mit --simulate: virtuelle Uhr, kein echtes Warten\n"
    "  --sim-report DATEI   mit --simulate: was die Platine gespeichert hat, als JSON\n"
    "  --log DATEI          den Verkehr der seriellen Schnittstelle in DATEI protokollieren\n"
    "  --port NAME          keine Suche: den Port NAME benutzen (zum Beispiel COM3, \\\\.\\COM3,\n"
    "                       unter Linux auch /dev/ttyUSB0)\n"
    "  --check              Quorix.lcd pr\u00fcfen und zeigen, was geschrieben w\u00fcrde; kein Port\n"
    "  --version            die Version ausgeben\n"
    "  --help               diesen Text ausgeben\n"
    "Ein Wert kann seiner Option auch nach '=' folgen (--log=DATEI).\n"
    "\n"
    "Exit-Status: 0 die Platine wurde beschrieben; 1 ein Platinenbefehl oder der Reset-\n"
    "Handshake schlug fehl; 2 Quorix.lcd fehlt oder wurde abgelehnt; 3 kein Port gefunden\n"
    "oder ge\u00f6ffnet, oder das Fenster wurde vorher geschlossen; 4 die serielle Schnittstelle\n"
    "meldete einen Fehler und der Lauf hielt an; 64 eine fehlerhafte Befehlszeile oder eine\n"
    "Ausgabedatei (--log, --sim-report), die nicht geschrieben werden kann; 70 ein\n"
    "unerwarteter interner Fehler, oder kein Thread oder Speicher zu haben; 74 diese\n"
    "Ausgabe konnte nicht geschrieben werden (statt 0); 129 Terminal geschlossen (SIGHUP);\n"
    "130 abgebrochen (Strg+C); 131 beendet (SIGQUIT); 143 beendet (SIGTERM).\n"};

}  // namespace app::usage
