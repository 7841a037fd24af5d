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

}  // namespace app::texts
