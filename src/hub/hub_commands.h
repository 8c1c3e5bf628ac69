// The controller commands the hub sends that the link manager's catalogue does not offer yet.
//
// Each builds its payload in wire order and goes through SendFrame, like the catalogue's own.
// TODO(cmd): replace each by the catalogue's TOrvoComAna::Cmd... operation once it exists.
#pragma once

#include <cstdint>
#include <string_view>

#include "base/status.h"
#include "link/orvo_com_ana.h"

namespace tarvel::hub::cmd {

base::Status OpticsMagRequest(link::TOrvoComAna& link);                      // (2,12,2)
base::Status OpticsForceBlanking(link::TOrvoComAna& link, bool on);          // (2,20,1)
base::Status IonPresetRequest(link::TOrvoComAna& link);                      // (6,7,2)
base::Status ScanConditionRequest(link::TOrvoComAna& link);                  // (8,2,2)
base::Status VacCommand(link::TOrvoComAna& link, std::string_view keyword);  // (9,4,1), then 1148
base::Status StageParamRequest(link::TOrvoComAna& link);                     // (10,6,2) int 1
base::Status PowerRequest(link::TOrvoComAna& link, std::int32_t item);       // (18,n,2)
base::Status Hard3SetDac(link::TOrvoComAna& link, std::int32_t address, std::int32_t value);
// (23,4,1): sub-command 0 write, 1 set bits, 2 reset bits.
base::Status Hard3Bits(link::TOrvoComAna& link, std::int32_t sub, std::int32_t address,
                       std::int32_t bits);
base::Status Hard3MachineData(link::TOrvoComAna& link, std::int32_t section, std::int32_t index,
                              double value);  // (23,18,1)
base::Status Hard3MachineDataRequest(link::TOrvoComAna& link, std::int32_t section,
                                     std::int32_t index);  // (23,18,2)
base::Status Hard3StatusRequest(link::TOrvoComAna& link);  // (23,19,2)
// (1,3,1): the local time plus 0.5 s as "yyyy/mm/dd hh:mm:ss".
base::Status SysSetTime(link::TOrvoComAna& link);

}  // namespace tarvel::hub::cmd
