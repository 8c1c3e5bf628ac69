#include "shm/ion_data.h"

#include <cstring>

#include "shm/extended.h"

namespace tarvel::shm {
namespace {

constexpr std::uint8_t kCode = code::kIon;

bool IsExtendedIndex(int i) {
  return (i >= 1 && i <= 7) || i == 16 || i == 17 || (i >= 19 && i <= 22);
}
bool IsWordIndex(int i) {
  return i == 0 || (i >= 8 && i <= 15);
}

}  // namespace

TOrvoIonData::TOrvoIonData(bool master, RecordOptions options)
    : TOrvoSharedData(std::string(kIonRecord), master, std::move(options)) {}

base::Status TOrvoIonData::PublishIonBlock(const IonBlock& block) {
  return Locked([&](HeldRecord& h) {
    std::span<std::uint8_t> f = h.Field(kCode, 0, 96);
    if (f.size() != 96) return false;
    std::memcpy(f.data(), &block.word0, 4);
    for (int k = 0; k < 7; ++k) {
      EncodeExtended(block.values[k],
                     std::span<std::uint8_t, kExtendedSize>(f.data() + 4 + 10 * k, kExtendedSize));
    }
    // 74..75 are left as they are.
    std::memcpy(f.data() + 76, block.words.data(), 20);
    return true;
  });
}

base::Status TOrvoIonData::PublishIonPair(double value16, double value17) {
  return Locked([&](HeldRecord& h) {
    return h.WriteExtended(kCode, 16, value16) && h.WriteExtended(kCode, 17, value17);
  });
}

base::Status TOrvoIonData::PublishIonWord(std::int16_t word18) {
  return WriteI16(kCode, 18, word18);
}

base::Status TOrvoIonData::PublishIonTail(std::span<const double, 4> values) {
  std::array<std::uint8_t, 4 * kExtendedSize> bytes{};
  for (int k = 0; k < 4; ++k) {
    EncodeExtended(values[k], std::span<std::uint8_t, kExtendedSize>(
                                  bytes.data() + kExtendedSize * k, kExtendedSize));
  }
  return WriteBlock(kCode, 19, bytes);
}

base::Result<double> TOrvoIonData::GetIonValue(int index) {
  if (!IsExtendedIndex(index)) {
    return Report(base::Status::OutOfRange("ion value index " + std::to_string(index) +
                                           " is not an extended field"));
  }
  return ReadExtended(kCode, index);
}

base::Result<std::int32_t> TOrvoIonData::GetIonWord(int index) {
  if (!IsWordIndex(index)) {
    return Report(base::Status::OutOfRange("ion word index " + std::to_string(index) +
                                           " is not a 32-bit field"));
  }
  return ReadI32(kCode, index);
}

}  // namespace tarvel::shm
