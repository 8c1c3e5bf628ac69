#include "link/dispatcher.h"

namespace tarvel::link {
namespace {
constexpr std::int32_t kModeReport = 2;
}  // namespace

TDispatcher::TDispatcher(model::TUnitModels& models) : models_(models) {
  // The unit table: one row per model.
  rows_ = {
      {1, &models_.System, TModeRule::kModeTwoOnly},
      {10, &models_.Stage, TModeRule::kPerItem},
  };
  for (std::size_t i = 0; i < rows_.size(); ++i) {
    rowOfUnit_[static_cast<std::size_t>(rows_[i].unit)] = static_cast<int>(i) + 1;
  }
}

const TDispatcher::TRow* TDispatcher::Row(std::int32_t unit) const {
  if (unit < 0 || unit > kMaxUnit) return nullptr;
  const int r = rowOfUnit_[static_cast<std::size_t>(unit)];
  return r == 0 ? nullptr : &rows_[static_cast<std::size_t>(r - 1)];
}

void TDispatcher::Dispatch(const ReceivedFrame& frame) {
  if (const TRow* row = Row(frame.ids.unit)) {
    if (row->rule == TModeRule::kModeTwoOnly && frame.ids.mode != kModeReport) {
      ++framesDroppedByMode_;
    } else {
      row->model->Receive(frame.ids, frame.payload);
    }
  } else {
    ++framesWithoutModel_;  // ids no unit has, and units whose models are not built yet
  }
  for (const FrameListener& l : listeners_) l(frame);
}

void TDispatcher::PublishChanges() {
  ++publications_;
  PublishSystem();
  PublishStage();
}

void TDispatcher::PublishSystem() {
  // The system model's fields reach the clients through the link manager's getters; nothing of
  // it is published to a record.
}

void TDispatcher::PublishStage() {
  // The stage record is written here once its writer lands; until then the change is taken so
  // that it does not stand for a later report.
  (void)models_.Stage.TakeChanged();
}

}  // namespace tarvel::link
