#include "shm/can_dial_data.h"

namespace tarvel::shm {

TOrvoCanDialData::TOrvoCanDialData(bool master, RecordOptions options)
    : TOrvoSharedData(std::string(kCanDialRecord), master, std::move(options)) {}

base::Result<std::int32_t> TOrvoCanDialData::GetDialWord(int i) {
  if (!((i >= 2 && i <= 7) || i == 10)) {
    return Report(
        base::Status::OutOfRange("dial word " + std::to_string(i) + " is not 2..7 or 10"));
  }
  return ReadI32(code::kCanDial, i);
}

base::Status TOrvoCanDialData::SetDialWord(int i, std::int32_t v) {
  if (i < 2 || i > 7)
    return Report(base::Status::OutOfRange("dial word " + std::to_string(i) + " is not 2..7"));
  return WriteI32(code::kCanDial, i, v);
}

}  // namespace tarvel::shm
