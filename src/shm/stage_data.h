// TOrvoStageData: the stage record "OrvoStageData", 228 bytes, field code 4.
//
// Fields: record_fields.h (fields::kStage). The moving flag is -1 or 0; the owner name is CP932
// text, NUL-terminated within its 100 bytes; the owner ID is -2 when free, 1..999 when owned.
//
// The multi-field operations (PublishStage, SetStageXYReal, SetStageDetail, GetStagePosition)
// run in one mutex hold, so another process never sees half of one of them. Stage ownership
// reads, tests and writes in one hold (the original took three, letting two processes both
// acquire the stage). Errors as in TOrvoSharedData.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>

#include "shm/shared_data.h"

namespace tarvel::shm {

struct StagePosition {
  double x = 0, y = 0, z = 0, t = 0, r = 0;
};

class TOrvoStageData : public TOrvoSharedData {
 public:
  // The master (the link manager) also marks the owner slot free (ID -2).
  explicit TOrvoStageData(bool master, RecordOptions options = {});

  // Index 0 (-1 when `moving` is non-zero, else 0), 1, 7 and 8 (the single-precision X and Y as
  // extended), 4, 5, 6 and the ten detail words 12..21. Indexes 2 and 3 are not written.
  base::Status PublishStage(std::int32_t moving, std::int32_t status, float x, float y,
                            std::int32_t z, std::int32_t t, std::int32_t r,
                            std::span<const std::int32_t, kStageDetailCount> detail);
  base::Status SetStageXYReal(double x, double y);
  // Axis 1..4 (low seven bits) writes index 3..6; any other axis number index 2.
  base::Status SetAxisPosition(std::int32_t axis, std::int32_t v);
  base::Status SetStageDetail(std::span<const std::int32_t, kStageDetailCount> words);

  // X and Y from 7 and 8, Z, T and R from 4, 5 and 6.
  base::Result<StagePosition> GetStagePosition();
  // a = 0, 1: index 7, 8; a = 3, 4: index 5, 6; any other a: index 4.
  base::Result<double> GetStageAxis(std::int32_t a);
  // The integer positions of indexes 2..6 (X, Y, Z, T, R).
  base::Result<std::array<std::int32_t, 5>> GetAxisPositions();
  base::Result<std::int16_t> GetStageMoving();
  base::Result<std::int16_t> GetJogState();

  // The owner name is CP932 text; at most 99 bytes are stored (cut before a split character).
  // Returns the new owner ID 1..999, or -1 when the stage is owned already (name and ID kept).
  base::Result<std::int32_t> AcquireStageOwner(std::string_view name);
  // The same, where `ownerGone(id)` may judge, in the same hold, that the current owner `id` has
  // gone: its slot is then taken over. `acquired(id)` runs in the same hold after a successful
  // acquire. Either may be empty.
  base::Result<std::int32_t> AcquireStageOwner(std::string_view name,
                                               const std::function<bool(std::int32_t)>& ownerGone,
                                               const std::function<void(std::int32_t)>& acquired);
  // Frees the slot when `id` is the stored ID; otherwise changes nothing.
  base::Status ReleaseStageOwner(std::int32_t id);
  // The text up to the first NUL within the 100 bytes (all 100 when there is none).
  base::Result<std::string> GetStageOwnerName();
  base::Result<std::int32_t> GetStageOwnerID();
};

// Cuts CP932 text to at most `max` bytes without splitting a double-byte character.
std::string_view CutCp932(std::string_view text, std::size_t max);

}  // namespace tarvel::shm
