// Texts the hub writes into its memos and the checks behind the System page's clock panel.
#pragma once

#include <QDateTime>

#include <string>

#include "link/orvo_com_ana.h"

namespace tarvel::hub {

// "yy/mm/dd hh:mm:ss" of a local time.
std::string StampText(const QDateTime& t);
// "<yy/mm/dd hh:mm:ss>: " followed by text.
std::string StampedLine(const std::string& text, const QDateTime& t);

// One command-log line for a sent frame: the stamp, "Cmd[%2d, %2d, %2d]" and, for Hard3 writes
// (unit 23, mode 1), the DAC or DO details. Payload fields are 32-bit big-endian integers; a
// field the frame does not carry is shown as "----" rather than read past the payload.
std::string CommandLogLine(const link::TOrvoComAna::SentFrame& frame, const QDateTime& t);

// The controller's clock text against the PC clock.
enum class ClockCheck { kInvalid, kInStep, kOff };
// Valid is exactly 19 characters "yyyy/mm/dd hh:mm:ss" with no letter, and a real date and
// time; kOff when it differs from `pc` by more than 5 seconds.
ClockCheck CheckControllerClock(const std::string& text, const QDateTime& pc);

// Whether a system name belongs to the PADO line.
bool IsPado(const std::string& sysName);

}  // namespace tarvel::hub
