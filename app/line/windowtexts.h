// The window's own texts of the line (Windows-1252).
#pragma once

namespace app::line::texts {

// The window's caption: how many boards it writes.
inline constexpr const char* kWindowCaption = "LCD Konfiguration - %d Platinen";
// A row's converter and the port its child took.
inline constexpr const char* kRowConverter = "%s (%s)";
// The caption of the summary's dialog when every board was written (a failed board's: Warnung).
inline constexpr const char* kSummaryCaption = "Information";

// (Until the line's texts header is merged.)
inline constexpr const char* kRowWaiting = "wartet";
inline constexpr const char* kRowWritten = "geschrieben";
inline constexpr const char* kRowFailed = "nicht geschrieben (Status %d): %s";

}  // namespace app::line::texts
