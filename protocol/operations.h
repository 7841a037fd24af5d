// The five board operations of the write sequence, in the order the sequence runs them:
// ClearOperatingTime, ClearErrorMemory, ProgramSerialNumber, ProgramDeviceType,
// SendConfiguration.
//
// Each starts with a probe and its two start characters, sends its data byte by byte with an
// echo for each, and waits for the board's confirmation. Preconditions: the port is open and
// the board was freshly reset (ResetOn, ResetOff). Each returns only on success, leaving the
// port open, the progress bar at 100 and its final status text shown; every failure reports
// and ends the process inside the operation (see link.h). None changes the record.
#pragma once

#include "protocol/boardwindow.h"
#include "protocol/configrecord.h"

namespace protocol {

// Clear the board's operating-time counter (confirmation within 39 polls of 20 ms) and its
// error memory (within 599 polls).
void ClearOperatingTime(BoardWindow& window);
void ClearErrorMemory(BoardWindow& window);

// Sends the first four bytes of serialPart1 and the first three of serialPart2 as stored.
void ProgramSerialNumber(BoardWindow& window, const ConfigRecord& record);
// Sends deviceType as decimal text, then 0x5F.
void ProgramDeviceType(BoardWindow& window, const ConfigRecord& record);
// Checks the board's configuration version against formatVersion, then sends every parameter
// as decimal text followed by 0x5F. With nothing loaded it beeps, shows the information dialog
// after the probe and ends the run (RunEnd::kNothingLoaded). At most kParameterCount parameters
// are sent, whatever parameterCount says.
void SendConfiguration(BoardWindow& window, const ConfigRecord& record);

}  // namespace protocol
