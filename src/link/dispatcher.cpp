#include "link/dispatcher.h"

namespace tarvel::link {
namespace {
constexpr std::int32_t kModeReport = 2;
}  // namespace

TDispatcher::TDispatcher(model::TUnitModels& models) : models_(models) {
  // The unit table: one row per model.
  for (const TRow& row : {
           TRow{1, &models_.System, TModeRule::kModeTwoOnly},
           TRow{10, &models_.Stage, TModeRule::kPerItem},
       }) {
    rows_[static_cast<std::size_t>(row.unit)] = row;
  }
}

const TDispatcher::TRow* TDispatcher::Row(std::int32_t unit) const {
  if (unit < 0 || unit > kMaxUnit) return nullptr;
  const TRow& row = rows_[static_cast<std::size_t>(unit)];
  return row.model ? &row : nullptr;
}

void TDispatcher::Dispatch(const ReceivedFrame& frame) {
  // Ids no unit has, and units whose models are not built yet, reach no model.
  const TRow* row = Row(frame.ids.unit);
  if (row && (row->rule != TModeRule::kModeTwoOnly || frame.ids.mode == kModeReport)) {
    row->model->Receive(frame.ids, frame.payload);
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
