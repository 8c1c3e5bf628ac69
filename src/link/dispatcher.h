// TDispatcher: where every complete controller frame goes, and the publication pass after it.
//
// The link manager calls Dispatch once per frame and then PublishChanges, always in that order,
// whatever unit the frame was for. Dispatch gives the frame to the one unit model its unit id
// selects (the table below, built once from TUnitModels); a row marked mode-2-only drops every
// frame whose mode is not 2 before the model sees it. Frames of units without a model are read
// and dropped.
//
// PublishChanges runs the publication steps in their fixed order; a model with nothing new
// answers each step's test-and-clear with false. Listeners of FrameDispatched (tools, tests,
// diagnostics) see every frame after its model.
//
// Borrows the models, which must outlive it. Main thread only; nothing here waits.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <vector>

#include "link/frame_receiver.h"
#include "model/unit_model.h"
#include "model/unit_models.h"

namespace tarvel::link {

class TDispatcher {
 public:
  enum class TModeRule : std::uint8_t {
    kModeTwoOnly,  // the model reads reports only
    kPerItem,      // the model's item handlers check the mode themselves
    kAnyMode,
  };
  struct TRow {
    std::int32_t unit = 0;
    model::TUnitModel* model = nullptr;
    TModeRule rule = TModeRule::kModeTwoOnly;
  };
  static constexpr std::int32_t kMaxUnit = 31;
  using FrameListener = std::function<void(const ReceivedFrame& frame)>;

  explicit TDispatcher(model::TUnitModels& models);
  TDispatcher(const TDispatcher&) = delete;
  TDispatcher& operator=(const TDispatcher&) = delete;

  // `frame` and its spans are valid only during the call.
  void Dispatch(const ReceivedFrame& frame);
  void PublishChanges();

  // The row of `unit`, or nullptr when no model reads that unit.
  const TRow* Row(std::int32_t unit) const;
  // Several listeners may watch; each is called in the order added.
  void AddFrameListener(FrameListener listener) { listeners_.push_back(std::move(listener)); }
  std::int64_t Publications() const { return publications_; }

 private:
  // Publication steps, in pass order. Each copies what its model reports as changed into the
  // shared records and raises its notifications; they fill in as the models and record
  // writers land.
  void PublishSystem();
  void PublishStage();

  model::TUnitModels& models_;
  std::array<TRow, kMaxUnit + 1> rows_{};  // by unit id; a null model: no model reads it
  std::vector<FrameListener> listeners_;
  std::int64_t publications_ = 0;  // passes run
};

}  // namespace tarvel::link
