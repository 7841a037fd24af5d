// Every fixed text of the write journal, in one place: the warnings and refusals of a run, the
// line about an earlier write of the same serial number, the history's headings and the exit
// statuses' names. Windows-1252 bytes, as the rest of the tool's texts.
#pragma once

namespace app::journal::texts {

// The journal itself, as messages name it: "%s" is its file or its server.
inline constexpr const char* kDefaultFileName = "journal.sqlite3";
inline constexpr const char* kFolderName = "lcdwrite";
inline constexpr const char* kPostgresPrefix = "postgresql://";
inline constexpr const char* kPostgresPrefixShort = "postgres://";

// The default journal cannot be used: one warning, the write goes on (cause at the end).
inline constexpr const char* kDefaultUnavailable =
    "Warnung: Das Journal %s ist nicht verf\xFC"
    "gbar (%s); die Platine wird ohne Journal "
    "beschrieben.";
// A journal named with --journal or LCDWRITE_JOURNAL cannot be used: the run is refused.
inline constexpr const char* kNamedUnavailable =
    "Das Journal %s kann nicht ge\xF6\x66\x66net werden: %s.";
// A damaged journal file was moved aside and a new one begun.
inline constexpr const char* kMovedAside =
    "Warnung: Das Journal %s war besch\xE4\x64igt; es wurde nach %s verschoben und ein neues "
    "begonnen.";
// The record could not be begun or completed during the run (the write goes on).
inline constexpr const char* kRecordFailed =
    "Warnung: Das Journal %s kann nicht weiter geschrieben werden (%s).";
// The journal did not take the record's beginning in time (or failed): a journal the user
// named refuses the write before the first reset (cause at the end).
inline constexpr const char* kNamedNotBegun =
    "Das Journal %s nimmt keinen Eintrag an (%s); die Platine wird nicht beschrieben.";
// The cause when a journal did not answer within a wait (seconds).
inline constexpr const char* kNoAnswer = "keine Antwort innerhalb von %d s";
// Before the write, when the journal holds a completed write of the same serial number.
inline constexpr const char* kWrittenBefore = "Seriennummer %s wurde zuletzt am %s geschrieben.";
// Causes.
inline constexpr const char* kNoHome =
    "kein Ordner f\xFCr Programmdaten (weder XDG_DATA_HOME noch HOME gesetzt)";
inline constexpr const char* kNewerSchema =
    "es wurde von einer neueren lcdwrite-Version angelegt (Schema %d, bekannt bis %d)";
inline constexpr const char* kNotInThisBuild =
    "in dieser Ausgabe von lcdwrite nicht verf\xFC"
    "gbar";
inline constexpr const char* kCannotCreateFolder = "der Ordner %s kann nicht angelegt werden";
inline constexpr const char* kBadSchema =
    "seine Schema-Version %s ist ung\xFCltig (bekannt sind 1 bis %d)";
inline constexpr const char* kBadValue = "die Spalte %s enth\xE4lt den ung\xFCltigen Wert \"%s\"";
inline constexpr const char* kBadColumnCount = "ein Eintrag hat %d Spalten statt %d";
// A file that exists and is no SQLite database: a journal the user named is never overwritten.
inline constexpr const char* kNotAJournal = "die Datei ist keine Journal-Datei (SQLite)";
// A file with SQLite's header whose pages do not read (a journal the user named is refused).
inline constexpr const char* kDamaged = "die Datei ist besch\xE4\x64igt (%s)";
// --history with a journal file that does not exist (the folder does).
inline constexpr const char* kNotThere = "die Datei ist nicht vorhanden";
// Names SQLite would take for something else than a file of that name.
inline constexpr const char* kNotAFileName =
    "der Name bezeichnet keine Datei (\":memory:\" und \"file:\"-URIs sind nicht erlaubt)";
// Another program holds the journal file's write lock longer than the wait allows.
inline constexpr const char* kBusy = "die Datei ist von einem anderen Programm gesperrt";
// The journal names the same file as another of the run's files.
inline constexpr const char* kJournalRole = "Das Journal";
inline constexpr const char* kJournalIsOutput =
    "Das Journal und %s nennen dieselbe Datei %s.";
inline constexpr const char* kLogOption = "das Protokoll (--log)";
inline constexpr const char* kReportOption = "der Bericht (--sim-report)";

// --journal-setup URI: the tables of a PostgreSQL journal made by its administrator.
inline constexpr const char* kSetupDone =
    "Das Journal %s ist eingerichtet (Schema %d). Die Werkb\xE4nke brauchen eine Rolle mit "
    "diesen Rechten, zum Beispiel:";
inline constexpr const char* kSetupFileOnly =
    "--journal-setup richtet nur ein PostgreSQL-Journal ein (postgresql://...); eine "
    "Journal-Datei legt lcdwrite selbst an.";

// --history: the table's headings, the result of a record never completed, the empty journal.
inline constexpr const char* kHeadTime = "Zeit (UTC)";
inline constexpr const char* kHeadSerial = "Seriennummer";
inline constexpr const char* kHeadDeviceType = "Ger\xE4tetyp";
inline constexpr const char* kHeadPort = "Port";
inline constexpr const char* kHeadResult = "Ergebnis";
inline constexpr const char* kHeadDuration = "Dauer";
inline constexpr const char* kIncomplete = "abgebrochen";
inline constexpr const char* kSimulatedMark = " (sim.)";
inline constexpr const char* kNoRecords = "Das Journal %s enth\xE4lt keine Eintr\xE4ge.";

// The exit statuses' names.
inline constexpr const char* kExitWritten = "geschrieben";
inline constexpr const char* kExitBoardFailure = "Platinenfehler";
inline constexpr const char* kExitNotLoaded = "Quorix.lcd abgelehnt";
inline constexpr const char* kExitNoPort = "kein Port";
inline constexpr const char* kExitPortError = "Portfehler";
inline constexpr const char* kExitUsage = "Aufruf abgelehnt";
inline constexpr const char* kExitInternalError = "interner Fehler";
inline constexpr const char* kExitInterrupted = "unterbrochen";
inline constexpr const char* kExitTerminated = "beendet";
inline constexpr const char* kExitIoError = "Ausgabe verloren";
inline constexpr const char* kExitHungUp = "aufgelegt";
inline constexpr const char* kExitQuit = "verlassen";
inline constexpr const char* kExitOther = "Status %d";

}  // namespace app::journal::texts
