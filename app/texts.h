// Every fixed text of the tool's window, search and configuration file, in one place. Texts are
// Windows-1252 bytes (0xFC is u-umlaut, 0xF6 o-umlaut); runs of spaces and line breaks are part
// of the text.
#pragma once

namespace app::texts {

inline constexpr const char* kCaptionFormat = "LCD Konfiguration schreiben v%s ab Fv7.26";
inline constexpr const char* kInitialCaption = "LCD Konfiguration";
inline constexpr const char* kSuccess = "Schreiben erfolgreich beendet!";
inline constexpr const char* kWaiting = "warten";
inline constexpr const char* kLoading = "Daten laden";
inline constexpr const char* kComPortError = "ComPortError:  %s !";
inline constexpr const char* kComPortLineError = "ComPortLineError:  %s !";

// Port discovery.
inline constexpr const char* kNoComPort = "Keinen ComPort auf dem PC gefunden!";
inline constexpr const char* kNoConverter = "USB-Port der LCD-Platine nicht gefunden!";
inline constexpr const char* kSearchFailed = "PortSuche nicht erfolgreich !";
inline constexpr const char* kNoRegKey = "RegSchl\xFCssel nicht gefunden !";
inline constexpr const char* kNoRegValue = "RegWert (PortName) nicht gefunden !";
inline constexpr const char* kTrialOpenFailed =
    "ComPortError:  %s !\n\nDer Port kann nicht ge\xF6\x66\x66net werden.";

// The search among several converters: one named with --converter that is not attached (with
// the ones that are below it), and the note that says which one the search took.
inline constexpr const char* kConverterNotAttached = "USB-Wandler %s nicht angeschlossen!";
inline constexpr const char* kConvertersAttached = "Angeschlossen: %s";
inline constexpr const char* kSeveralConverters =
    "Mehrere USB-Wandler angeschlossen: genommen %s, au\xDF" "erdem %s. Einen bestimmten "
    "w\xE4hlt --converter SERIENNUMMER.";

// --list: the converters the search can see, one line each.
inline constexpr const char* kListHeadPort = "Port";
inline constexpr const char* kListHeadConverter = "USB-Wandler";
inline constexpr const char* kListHeadLatency = "Latenz";
inline constexpr const char* kListHeadHolder = "belegt von";
inline constexpr const char* kListLatency = "%lu ms";
inline constexpr const char* kListUnknownHolder = "einem anderen Programm";
inline constexpr const char* kListNoPort = "(kein Port)";
inline constexpr const char* kListNone = "Kein USB-Wandler der LCD-Platine angeschlossen.";

// The converter's latency timer, found during the search: console and the port's log, never a
// dialog (the absent value only in the log).
inline constexpr const char* kLatencyFound = "Latenzzeit des USB-Wandlers an %s: %lu ms";
inline constexpr const char* kLatencyAbsent =
    "Latenzzeit des USB-Wandlers an %s: kein Wert LatencyTimer im Registry-Schl\xFCssel";
inline constexpr const char* kLatencyLowered =
    "Latenzzeit auf 1 ms gesetzt; der Treiber \xFC" "bernimmt sie beim \xD6" "ffnen des Ports, "
    "also schon f\xFCr diesen Lauf.";
// With the system's text for the error.
inline constexpr const char* kLatencyNotSet = "Latenzzeit l\xE4sst sich nicht auf 1 ms setzen: %s";
inline constexpr const char* kLatencyRemedy =
    "Abhilfe: Ger\xE4te-Manager > Anschl\xFCsse (COM & LPT) > USB Serial Port (%s) > "
    "Eigenschaften > Anschlusseinstellungen (Port Settings) > Erweitert (Advanced): "
    "Latenzzeit (Latency Timer) auf 1 ms stellen, oder lcdwrite einmal als Administrator "
    "starten.";

// Configuration file.
inline constexpr const char* kConfigFileName = "Quorix.lcd";
inline constexpr const char* kConfigCannotOpen = "Quorix.lcd kann nicht ge\xF6\x66\x66net werden!";
inline constexpr const char* kConfigOtherVersion =
    "Quorix.lcd geh\xF6rt zu einer anderen Konfigurationsversion!";
inline constexpr const char* kConfigDamaged = "Quorix.lcd ist fehlerhaft!";
// The line that names a damaged entry: position, entry name, token.
inline constexpr const char* kEntryMissing = "Eintrag %d (%s) fehlt.";
inline constexpr const char* kEntryNotNumber = "Eintrag %d (%s): \"%s\" ist keine ganze Zahl.";
inline constexpr const char* kEntryOutOfRange =
    "Eintrag %d (%s): \"%s\" liegt au\xDF" "erhalb von -2147483648 bis 2147483647.";
inline constexpr const char* kEntryHasNul = "Eintrag %d (%s): \"%s\" enth\xE4lt ein Nullbyte.";
inline constexpr const char* kEntryTooLong =
    "Eintrag %d (%s): \"%s\" ist l\xE4nger als 9 Zeichen.";
inline constexpr const char* kEntryVersion = "Konfigurationsversion";
inline constexpr const char* kEntryParameter = "Parameter ";
inline constexpr const char* kEntrySerial1 = "Seriennummer Teil 1";
inline constexpr const char* kEntrySerial2 = "Seriennummer Teil 2";
inline constexpr const char* kEntryDeviceType = "Ger\xE4tetyp";
// The second line when Quorix.lcd is there but is no file that can be read: folder, what it is.
inline constexpr const char* kConfigNotAFile = "Im Ordner %s ist Quorix.lcd %s.";
// The second line when Quorix.lcd is missing or cannot be opened: the folder searched.
inline constexpr const char* kConfigSearchedIn = "Gesucht im Ordner: %s";
inline constexpr const char* kConfigIsFolder = "ein Ordner";
inline constexpr const char* kConfigIsDevice =
    "keine gew\xF6hnliche Datei (ein Ger\xE4t oder eine FIFO)";
// The second line when Quorix.lcd is larger than any configuration can be (%d: the limit, MiB).
inline constexpr const char* kConfigTooLarge =
    "Die Datei ist gr\xF6\xDF" "er als %d MiB; so gro\xDF ist keine Konfiguration.";
inline constexpr const char* kConfigUtf16 =
    "Die Datei ist im UTF-16-Format gespeichert; bitte als ANSI-Text speichern.";

// What a write sends, shown by --check and at the console's start.
inline constexpr const char* kCheckGood = "Quorix.lcd ist in Ordnung: Version %d, %d Parameter.";
inline constexpr const char* kSummarySerial = "Seriennummer an die Platine: %s";
inline constexpr const char* kSummaryDeviceType = "Ger\xE4tetyp an die Platine: %d";
inline constexpr const char* kWarnSerialLong =
    "Warnung: Seriennummer Teil %d \"%s\" ist l\xE4nger als %d Zeichen; gesendet wird \"%s\".";
inline constexpr const char* kWarnSerialShort =
    "Warnung: Seriennummer Teil %d \"%s\" ist k\xFCrzer als %d Zeichen; gesendet wird \"%s\".";

// A window was wanted and a display named (%s: the variable), but it cannot be opened.
inline constexpr const char* kNoDisplay =
    "Kein Bildschirm erreichbar (%s): lcdwrite l\xE4uft auf der Konsole.";

// A run stopped from outside (Ctrl+C, a termination request): how far the board was written.
inline constexpr const char* kStoppedUntouched = "Abgebrochen: Die Platine wurde nicht beschrieben.";
inline constexpr const char* kStoppedIncomplete =
    "Abgebrochen: Die Platine wurde nicht vollst\xE4ndig beschrieben!";
inline constexpr const char* kStoppedAfterWrite =
    "Abgebrochen: Die Platine war bereits vollst\xE4ndig beschrieben.";

// The system would not give a thread, a timer or memory: the run ends. Followed by the cause
// in brackets and how far the board was written.
inline constexpr const char* kOutOfResources =
    "Abgebrochen: Das System gibt keinen Thread, Zeitgeber oder Speicher mehr her";
inline constexpr const char* kBoardUntouched = "Die Platine wurde nicht beschrieben.";
inline constexpr const char* kBoardIncomplete =
    "Die Platine wurde nicht vollst\xE4ndig beschrieben!";
inline constexpr const char* kBoardWritten = "Die Platine war bereits vollst\xE4ndig beschrieben.";

// The files a run writes: the port's log (--log) and the simulated board's report
// (--sim-report). The first %s is the role below, the second the file's name.
inline constexpr const char* kWarningCaption = "Warnung";
inline constexpr const char* kLogRole = "Die Protokolldatei";
inline constexpr const char* kReportRole = "Die Berichtsdatei";
inline constexpr const char* kOutputCannotWrite = "%s %s kann nicht geschrieben werden: %s.";
inline constexpr const char* kOutputIsConfig =
    "%s %s ist Quorix.lcd selbst; die Konfiguration w\xFCrde \xFC\x62\x65rschrieben.";
inline constexpr const char* kOutputIsScenario =
    "%s %s ist die Szenariodatei; sie w\xFCrde \xFC\x62\x65rschrieben.";
inline constexpr const char* kOutputsSame =
    "Protokoll (--log) und Bericht (--sim-report) nennen dieselbe Datei %s.";
inline constexpr const char* kLogFailed =
    "Die Protokolldatei %s kann nicht weiter geschrieben werden: %s. Die Platine wird ohne "
    "Protokoll zu Ende beschrieben.";
inline constexpr const char* kLogIncomplete = "Das Protokoll %s ist unvollst\xE4ndig: %s.";
// The first and the last line of a run in its log: several runs may append to one log.
inline constexpr const char* kLogRunBegins = "lcdwrite, Prozess %ld: Beginn des Laufs";
inline constexpr const char* kLogRunEnds = "lcdwrite, Prozess %ld: Ende des Laufs, Exit-Status %d";
inline constexpr const char* kReportFailed = "Der Bericht %s konnte nicht geschrieben werden.";
// Why a file cannot be written.
inline constexpr const char* kCauseFolder = "es ist ein Ordner";
inline constexpr const char* kCauseNotAFile = "es ist keine gew\xF6hnliche Datei";
inline constexpr const char* kCauseNoFolder = "der Ordner %s ist nicht vorhanden";
inline constexpr const char* kCauseDiskFull = "kein Platz mehr auf dem Datentr\xE4ger";
inline constexpr const char* kCauseNoAccess = "keine Berechtigung";
inline constexpr const char* kCauseMissing = "Datei oder Ordner nicht vorhanden";
inline constexpr const char* kCauseReadOnly = "das Dateisystem ist schreibgesch\xFCtzt";
inline constexpr const char* kCauseTooLarge = "die Datei ist zu gro\xDF";
inline constexpr const char* kCauseInOut = "Ein-/Ausgabefehler";
inline constexpr const char* kCauseOther = "Systemfehler %d (%s)";
inline constexpr const char* kCauseRunningProgram = "es ist ein laufendes Programm";
inline constexpr const char* kStdoutFailed =
    "Die Standardausgabe konnte nicht geschrieben werden: %s.";
inline constexpr const char* kCauseForeignLink =
    "es ist ein Verweis eines anderen Benutzers in einem Ordner, in den auch andere schreiben "
    "d\xFCrfen";

// A port that does not open: the cause and the remedy, shown below the trial open's message
// (and written to the port's log). Linux: from the device node, the user's groups and /proc.
inline constexpr const char* kOpenNotInGroup =
    "Keine Berechtigung f\xFCr %s: Der Benutzer %s ist nicht in der Gruppe %s.";
inline constexpr const char* kOpenNotInGroupRemedy =
    "Abhilfe: sudo usermod -aG %s %s eingeben, danach ab- und wieder anmelden.";
inline constexpr const char* kOpenGroupNotActive =
    "Keine Berechtigung f\xFCr %s: Der Benutzer %s ist in der Gruppe %s, diese Anmeldung aber "
    "noch nicht.";
inline constexpr const char* kOpenGroupNotActiveRemedy =
    "Abhilfe: ab- und wieder anmelden (oder den Rechner neu starten).";
inline constexpr const char* kOpenNoAccess =
    "Keine Berechtigung f\xFCr %s (Besitzer %s, Gruppe %s, Rechte %s).";
inline constexpr const char* kOpenNoAccessRemedy =
    "Abhilfe: die Rechte der Ger\xE4tedatei vom Administrator anpassen lassen (ls -l %s zeigt sie).";
inline constexpr const char* kOpenHeldBy = "%s wird von einem anderen Programm benutzt: %s.";
inline constexpr const char* kOpenHolder = "%s (PID %d)";
inline constexpr const char* kOpenHeldByRemedy =
    "Abhilfe: das Programm beenden und es erneut versuchen.";
inline constexpr const char* kOpenHeldByServiceRemedy =
    "Abhilfe: den Dienst anhalten (sudo systemctl stop %s) und es erneut versuchen.";
inline constexpr const char* kOpenModemManagerRule =
    "Die udev-Regel des Programms (60-lcdwrite.rules) h\xE4lt ModemManager dauerhaft vom Wandler "
    "fern.";
inline constexpr const char* kOpenHeldUnknown = "%s wird von einem anderen Programm benutzt.";
inline constexpr const char* kOpenHeldUnknownRemedy =
    "Abhilfe: das Programm beenden und es erneut versuchen; welches es ist, zeigt: sudo fuser -v %s";
inline constexpr const char* kOpenSuspects =
    "Auf diesem Rechner l\xE4uft %s, das neue serielle Ports selbst \xF6\x66\x66net.";
inline constexpr const char* kOpenGone =
    "%s ist nicht vorhanden: Der USB-Wandler ist nicht (mehr) angesteckt.";
inline constexpr const char* kOpenGoneRemedy =
    "Abhilfe: den Wandler anstecken und es erneut versuchen.";
// The name given with --port is no serial port: no terminal device at all, or a terminal
// someone works in (%s: the device file; then the program and its process id).
inline constexpr const char* kOpenNotSerial =
    "%s ist keine serielle Schnittstelle: kein Ger\xE4t, das lcdwrite einstellen kann.";
inline constexpr const char* kOpenOwnTerminal =
    "%s ist keine serielle Schnittstelle, sondern das Terminal, in dem lcdwrite l\xE4uft.";
inline constexpr const char* kOpenConsole =
    "%s ist keine serielle Schnittstelle, sondern eine Konsole des Rechners.";
inline constexpr const char* kOpenOtherTerminal =
    "%s ist keine serielle Schnittstelle, sondern das Terminal von %s (PID %d).";
inline constexpr const char* kOpenNotSerialRemedy =
    "Abhilfe: mit --port den Port des USB-Wandlers angeben (zum Beispiel ttyUSB0).";
// Windows: only the error code is known.
inline constexpr const char* kOpenAccessDenied =
    "Zugriff verweigert: Der Port wird von einem anderen Programm benutzt.";
inline constexpr const char* kOpenAccessDeniedRemedy =
    "Abhilfe: das andere Programm (zum Beispiel ein Terminalprogramm) schlie\xDF\x65n und es "
    "erneut versuchen.";
inline constexpr const char* kOpenNotFound =
    "Port nicht gefunden: Der USB-Wandler ist nicht (mehr) angesteckt.";

}  // namespace app::texts
