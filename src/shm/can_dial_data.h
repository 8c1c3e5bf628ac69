// TOrvoCanDialData: the dial record "CanDialData", 44 bytes, field code 26: eleven
// 32-bit words (record_fields.h). Words 2..7 hold the last values sent to the operation panel in
// three pairs, word 10 an extra byte for the first pair written by other programs; words 0, 1, 8
// and 9 are not used by the server. Errors as in TOrvoSharedData.
#pragma once

#include <cstdint>

#include "shm/shared_data.h"

namespace tarvel::shm {

class TOrvoCanDialData : public TOrvoSharedData {
 public:
  explicit TOrvoCanDialData(bool master, RecordOptions options = {});

  // Words 2..7 and 10; any other word is refused.
  base::Result<std::int32_t> GetDialWord(int i);
  // Words 2..7; any other word is refused.
  base::Status SetDialWord(int i, std::int32_t v);
};

}  // namespace tarvel::shm
