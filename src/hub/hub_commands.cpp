#include "hub/hub_commands.h"

#include <QDateTime>

#include <cmath>
#include <limits>

#include "base/byte_writer.h"

namespace tarvel::hub::cmd {

using link::kModeRequest;
using link::kModeSet;

base::Status OpticsMagRequest(link::TOrvoComAna& link) {
  return link.SendCommand(link::kUnitOptics, 12, kModeRequest);
}

base::Status OpticsForceBlanking(link::TOrvoComAna& link, bool on) {
  base::ByteWriter w;
  w.boolean(on);
  return link.SendFrame(link::kUnitOptics, 20, kModeSet, w.bytes());
}

base::Status IonPresetRequest(link::TOrvoComAna& link) {
  return link.SendCommand(link::kUnitIon, 7, kModeRequest);
}

base::Status ScanConditionRequest(link::TOrvoComAna& link) {
  return link.SendCommand(link::kUnitScan, 2, kModeRequest);
}

base::Status VacCommand(link::TOrvoComAna& link, std::string_view keyword) {
  base::ByteWriter w;
  w.cstring(keyword);
  base::Status s = link.SendFrame(link::kUnitVacuum, 4, kModeSet, w.bytes());
  link.NotifyDataChanged(1148);
  return s;
}

base::Status StageParamRequest(link::TOrvoComAna& link) {
  base::ByteWriter w;
  w.i32be(1);
  return link.SendFrame(link::kUnitStage, 6, kModeRequest, w.bytes());
}

base::Status PowerRequest(link::TOrvoComAna& link, std::int32_t item) {
  return link.SendCommand(link::kUnitPower, item, kModeRequest);
}

base::Status Hard3SetDac(link::TOrvoComAna& link, std::int32_t address, std::int32_t value) {
  base::ByteWriter w;
  w.i32be(address).i32be(value);
  return link.SendFrame(link::kUnitHard3, 3, kModeSet, w.bytes());
}

base::Status Hard3Bits(link::TOrvoComAna& link, std::int32_t sub, std::int32_t address,
                       std::int32_t bits) {
  base::ByteWriter w;
  w.i32be(sub).i32be(address).i32be(bits);
  return link.SendFrame(link::kUnitHard3, 4, kModeSet, w.bytes());
}

base::Status Hard3MachineData(link::TOrvoComAna& link, std::int32_t section, std::int32_t index,
                              double value) {
  base::ByteWriter w;
  w.i32be(section).i32be(index).f64be(value);
  base::Status s = link.SendFrame(link::kUnitHard3, 18, kModeSet, w.bytes());
  // Section 6 indexes 14..21 are also DAC images of the deflection corrections.
  static constexpr std::int32_t kDacOf[] = {1549, 1550, 1551, 1552, 1558, 1557, 1574, 1573};
  if (s.ok() && section == 6 && index >= 14 && index <= 21 && std::isfinite(value)) {
    const double t = std::trunc(value);
    const auto lo = static_cast<double>(std::numeric_limits<std::int32_t>::min());
    const auto hi = static_cast<double>(std::numeric_limits<std::int32_t>::max());
    s = Hard3SetDac(link, kDacOf[index - 14],
                    static_cast<std::int32_t>(t < lo ? lo : (t > hi ? hi : t)));
  }
  return s;
}

base::Status Hard3MachineDataRequest(link::TOrvoComAna& link, std::int32_t section,
                                     std::int32_t index) {
  base::ByteWriter w;
  w.i32be(section).i32be(index);
  return link.SendFrame(link::kUnitHard3, 18, kModeRequest, w.bytes());
}

base::Status Hard3StatusRequest(link::TOrvoComAna& link) {
  return link.SendCommand(link::kUnitHard3, 19, kModeRequest);
}

base::Status SysSetTime(link::TOrvoComAna& link) {
  const QDateTime t = QDateTime::currentDateTime().addMSecs(500);
  base::ByteWriter w;
  w.cstring(t.toString("yyyy/MM/dd hh:mm:ss").toStdString());
  return link.SendFrame(link::kUnitSystem, 3, kModeSet, w.bytes());
}

}  // namespace tarvel::hub::cmd
