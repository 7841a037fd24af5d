// Every fixed text the board protocol shows, in the tool's 8-bit code page (Windows-1252:
// \xE4 a-umlaut, \xF6 o-umlaut, \xFC u-umlaut, \xDC U-umlaut). Runs of spaces are part of the
// texts. A hex escape is always followed by a new literal piece so that the next letter cannot
// extend it.
#pragma once

namespace protocol::texts {

// ---- Link primitives ----
// WaitTransmitDone: head + transmit code + tail.
inline constexpr const char* kSendFailedHead =
    "Daten senden konnte nicht ausgef\xFC" "hrt werden!  Fehlercode ";
inline constexpr const char* kSendFailedTail =
    "\n\n             Daten\xFC" "bertragung abgebrochen!";
inline constexpr const char* kNoDevice =
    "     Ger\xE4" "t antwortet nicht!\n\nM\xF6" "gliche Gr\xFC" "nde, z.B.:\n"
    "Test-Jumper auf Platine vergessen.\nNetzkabel nicht entfernt.\nNoch keine Firmware geladen.";
inline constexpr const char* kResetOnFailed =
    "Keine R\xFC" "ckmeldung vom \"Reset\"-Befehl \"ein\" erhalten!\n\n"
    "        Daten\xFC" "bertragung abgebrochen!";
inline constexpr const char* kResetOffFailed =
    "Keine R\xFC" "ckmeldung vom \"Reset\"-Befehl \"aus\" erhalten!\n\n"
    "        Daten\xFC" "bertragung abgebrochen!";

// ShowTransferError: heading + code + tail, by kind 1 to 4.
inline constexpr const char* kTransferHeading = "Daten\xFC" "bertragungsfehler!  Fehlercode ";
inline constexpr const char* kProgrammingHeading = "Programmierfehler!  Fehlercode ";
inline constexpr const char* kWrongReplyTail = "\n\nFalsches Antwortbyte.";
inline constexpr const char* kTimeoutTail = "\n\nZeit\xFC" "berschreitung.";
inline constexpr const char* kWrongConfirmationTail = "\n\nFalsches Best\xE4" "tigungsbyte.";

// ---- Configuration ----
inline constexpr const char* kConfigStart1Wrong =
    "Konfiguration: Falsche R\xFC" "ckmeldung vom Startzeichen 1";
inline constexpr const char* kConfigStart1None =
    "Konfiguration: Keine R\xFC" "ckmeldung vom Startzeichen 1";
inline constexpr const char* kConfigVersionWrong =
    "Daten\xFC" "bertragungsfehler!\n\nFalsches Kontrollzeichen empfangen.\n"
    "Firmware in LCD-Platine vermutlich nicht kompatibel.";
inline constexpr const char* kConfigVersionTimeout =
    "Daten\xFC" "bertragungsfehler!\n\nZeit\xFC" "berschreitung.\n"
    "Firmware in LCD-Platine vermutlich nicht kompatibel!";
inline constexpr const char* kNothingLoaded = "Es wurde noch keine Konfiguration geladen!";
inline constexpr const char* kConfigSending = "Konfiguration zum Ger\xE4" "t senden";
inline constexpr const char* kConfigProgramming = "Konfiguration Programmieren";
inline constexpr const char* kConfigDone = "Programmierung beendet";

// ---- Maintenance commands ----
inline constexpr const char* kOperatingTimeStart1Wrong =
    "Betriebszeit: Falsche R\xFC" "ckmeldung vom Startzeichen 1";
inline constexpr const char* kOperatingTimeStart1None =
    "Betriebszeit: Keine R\xFC" "ckmeldung vom Startzeichen 1";
inline constexpr const char* kOperatingTimeStart2Wrong =
    "Betriebszeit: Falsche R\xFC" "ckmeldung vom Startzeichen 2";
inline constexpr const char* kOperatingTimeStart2None =
    "Betriebszeit: Keine R\xFC" "ckmeldung vom Startzeichen 2";
inline constexpr const char* kOperatingTimeClearing = "Betriebszeit l\xF6" "schen";
inline constexpr const char* kOperatingTimeCleared = "Betriebszeit gel\xF6" "scht";
inline constexpr const char* kErrorMemoryStart1Wrong =
    "Fehlerspeicher: Falsche R\xFC" "ckmeldung vom Startzeichen 1";
inline constexpr const char* kErrorMemoryStart1None =
    "Fehlerspeicher: Keine R\xFC" "ckmeldung vom Startzeichen 1";
inline constexpr const char* kErrorMemoryStart2Wrong =
    "Fehlerspeicher: Falsche R\xFC" "ckmeldung vom Startzeichen 2";
inline constexpr const char* kErrorMemoryStart2None =
    "Fehlerspeicher: Keine R\xFC" "ckmeldung vom Startzeichen 2";
inline constexpr const char* kErrorMemoryClearing = "Fehlerspeicher l\xF6" "schen";
inline constexpr const char* kErrorMemoryCleared = "Fehlerspeicher gel\xF6" "scht";
// The confirmation texts of both clearing commands.
inline constexpr const char* kClearWrongConfirmation =
    "   Programmierfehler!\n\nFalsches Best\xE4" "tigungsbyte.";
inline constexpr const char* kConfirmationTimeout = "Programmierfehler!\n\nZeit\xFC" "berschreitung.";

// ---- Serial number ----
inline constexpr const char* kSerialStart1Wrong =
    "Serien-Nummer: Falsche R\xFC" "ckmeldung vom Startzeichen 1";
inline constexpr const char* kSerialStart1None =
    "Serien-Nummer: Keine R\xFC" "ckmeldung vom Startzeichen 1";
inline constexpr const char* kSerialStart2Wrong =
    "Serien-Nummer: Falsche R\xFC" "ckmeldung vom Startzeichen 2";
inline constexpr const char* kSerialStart2None =
    "Serien-Nummer: Keine R\xFC" "ckmeldung vom Startzeichen 2";
inline constexpr const char* kSerialWrongReply = "Daten\xFC" "bertragungsfehler!\n\n Falsches Antwortbyte.";
inline constexpr const char* kSerialTimeout =
    "Daten\xFC" "bertragungsfehler!\n\n  Zeit\xFC" "berschreitung.";
inline constexpr const char* kSerialWrongConfirmation =
    "    Programmierfehler!\n\nFalsches Best\xE4" "tigungsbyte.";
inline constexpr const char* kSerialSending = "Serien-Nummer \xFC" "bertragen";
inline constexpr const char* kSerialSent = "Serien-Nummer \xFC" "bertragen beendet";
inline constexpr const char* kSerialProgramming = "Serien-Nummer programmieren";
inline constexpr const char* kSerialProgrammed = "Serien-Nummer programmiert";

// ---- Device type ----
inline constexpr const char* kDeviceTypeStart1Wrong =
    "Ger\xE4" "tetyp: Falsche R\xFC" "ckmeldung vom Startzeichen 1";
inline constexpr const char* kDeviceTypeStart1None =
    "Ger\xE4" "tetyp: Keine R\xFC" "ckmeldung vom Startzeichen 1";
inline constexpr const char* kDeviceTypeStart2Wrong =
    "Ger\xE4" "tetyp: Falsche R\xFC" "ckmeldung vom Startzeichen 2";
inline constexpr const char* kDeviceTypeStart2None =
    "Ger\xE4" "tetyp: Keine R\xFC" "ckmeldung vom Startzeichen 2";
inline constexpr const char* kDeviceTypeSending = "Ger\xE4" "tetyp-\xDC" "bertragung";
inline constexpr const char* kDeviceTypeSent = "Ger\xE4" "tetyp-\xDC" "bertragung beendet";
inline constexpr const char* kDeviceTypeProgramming = "Ger\xE4" "tetyp-Programmierung";
inline constexpr const char* kDeviceTypeProgrammed = "Ger\xE4" "tetyp-Programmiert";

}  // namespace protocol::texts
