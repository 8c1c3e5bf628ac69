// The built-in alarm texts of machine type 1, as the hardware error log needs them.
//
// The log always looks its texts up with machine type 1, and the error-message table rewrites
// every row to its built-in text whenever it is opened, so these are the texts the log gets.
// When the error-message table store exists, TOrvoMonitData::SetAlarmTextSource can point the log
// at it instead. Texts are CP932 bytes (alarm 87 holds a full-width "!" and a line break).
#pragma once

#include <string>

namespace tarvel::shm {

// The text of alarm n, 1..150; " " for any other number (as the table answers a missing row).
std::string DefaultAlarmText(int n);

}  // namespace tarvel::shm
