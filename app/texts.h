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
inline constexpr const char* kEntryTooLong =
    "Eintrag %d (%s): \"%s\" ist l\xE4nger als 9 Zeichen.";
inline constexpr const char* kEntryVersion = "Konfigurationsversion";
inline constexpr const char* kEntryParameter = "Parameter ";
inline constexpr const char* kEntrySerial1 = "Seriennummer Teil 1";
inline constexpr const char* kEntrySerial2 = "Seriennummer Teil 2";
inline constexpr const char* kEntryDeviceType = "Ger\xE4tetyp";

}  // namespace app::texts
