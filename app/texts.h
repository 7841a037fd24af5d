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
// Windows: only the error code is known.
inline constexpr const char* kOpenAccessDenied =
    "Zugriff verweigert: Der Port wird von einem anderen Programm benutzt.";
inline constexpr const char* kOpenAccessDeniedRemedy =
    "Abhilfe: das andere Programm (zum Beispiel ein Terminalprogramm) schlie\xDF\x65n und es "
    "erneut versuchen.";
inline constexpr const char* kOpenNotFound =
    "Port nicht gefunden: Der USB-Wandler ist nicht (mehr) angesteckt.";

}  // namespace app::texts
