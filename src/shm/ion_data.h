// TOrvoIonData: the ion record "OrvoIonData", 172 bytes, field code 8.
//
// Fields: record_fields.h (fields::kIon). The publication pass fills it with the four writes below.
// Errors as in TOrvoSharedData.
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "shm/shared_data.h"

namespace tarvel::shm {

// The 96-byte block at index 0: word 0, values 1..7, (bytes 74..75 kept), words 8..12.
struct IonBlock {
  std::int32_t word0 = 0;
  std::array<double, 7> values{};       // indexes 1..7
  std::array<std::int32_t, 5> words{};  // indexes 8..12
};

class TOrvoIonData : public TOrvoSharedData {
 public:
  explicit TOrvoIonData(bool master, RecordOptions options = {});

  // One 96-byte write at index 0 in one hold; bytes 74..75 keep what they held.
  base::Status PublishIonBlock(const IonBlock& block);
  // Extended values 16 and 17.
  base::Status PublishIonPair(double value16, double value17);
  // The 16-bit word 18.
  base::Status PublishIonWord(std::int16_t word18);
  // One 40-byte block at index 19: values 19..22.
  base::Status PublishIonTail(std::span<const double, 4> values);

  base::Result<double> GetIonValue(int index);       // extended indexes 1..7, 16, 17, 19..22
  base::Result<std::int32_t> GetIonWord(int index);  // 32-bit indexes 0, 8..15
};

}  // namespace tarvel::shm
