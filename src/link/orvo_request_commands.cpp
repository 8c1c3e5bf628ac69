// The report requests the link manager itself sends (cyclic polling, start-up phases).
#include "base/byte_writer.h"
#include "link/orvo_com_ana.h"

namespace tarvel::link {

base::Status TOrvoComAna::CmdSysInfoRequest() {
  return SendCommand(kUnitSystem, 1, kModeRequest);
}

base::Status TOrvoComAna::CmdStageRequest(std::int32_t item) {
  return SendCommand(kUnitStage, item, kModeRequest);
}

base::Status TOrvoComAna::CmdVacRequest(std::int32_t item) {
  return SendCommand(kUnitVacuum, item, kModeRequest);
}

base::Status TOrvoComAna::CmdIonDataRequest() {
  return SendCommand(kUnitIon, 10, kModeRequest);
}

base::Status TOrvoComAna::CmdScan3Request() {
  return SendCommand(kUnitScan3, 4, kModeRequest);
}

base::Status TOrvoComAna::CmdApertureRequest(std::int32_t item) {
  base::ByteWriter w;
  w.i32be(0);
  return SendFrame(kUnitAperture, item, kModeRequest, w.bytes());
}

}  // namespace tarvel::link
