#include "shm/alarm_texts.h"

#include <array>
#include <cstdio>
#include <string_view>

namespace tarvel::shm {
namespace {

// Texts after "<group> Error NN: "; empty entries read "Reserved".
constexpr std::array<std::string_view, 64> kVacuum = {"Gas Pressure",
                                                      "RP Alarm",
                                                      "TMP1 Alarm",
                                                      "TMP2 Alarm",
                                                      "ION Pump Alarm",
                                                      "Transfer Arm Position Error",
                                                      "Sub Chamber Gate Valve Error",
                                                      "ION  Chamber Vaccum interlock error.",
                                                      "Main Chamber Vaccum interlock error.",
                                                      "Sub Chamber EVAC Time Out",
                                                      "Holder Position Error",
                                                      "Dry Pump Error",
                                                      "Elevator Error",
                                                      "TMP2 Speed Error",
                                                      "Sub Chamber interlock ON",
                                                      "Air Pres. Error",
                                                      "Ar Pres. Error",
                                                      "RP Evac Time Out",
                                                      "TMP1 Speed Error",
                                                      "MGS Gas Leak Error",
                                                      "SEM Vaccum interlock error.",
                                                      "Transfer Arm Motor Error.",
                                                      "Gas Up/Down Sensor Error.",
                                                      "Door Open/Close Sensor Error.",
                                                      "Cooling Water Leak Error.",
                                                      "Sub Cham. Main Pump Upper Valve Error.",
                                                      "",
                                                      "",
                                                      "",
                                                      "",
                                                      "",
                                                      "Vacuum Shutdown."};

constexpr std::array<std::string_view, 20> kElectronics = {"VME Unit/Cabinet Fan Alarm",
                                                           "Stage Unit Fan Alarm",
                                                           "E-Gun Unit Fan Alarm",
                                                           "C.L. OverLoad Alarm",
                                                           "O.L. OverLoad Alarm",
                                                           "SED OverLoad Alarm",
                                                           "CPD OverLoad Alarm",
                                                           "Gas Injector Sensor Alarm",
                                                           "SEM O.L. Alarm",
                                                           "SEM C.L.3 Alarm",
                                                           "SEM Water Leak Alram",
                                                           "SEM C.L.1 OverLoad Alarm",
                                                           "SEM C.L.2 OverLoad Alarm",
                                                           "SEM A.C.L OverLoad Alarm",
                                                           "SEM VINT OverLoad Alarm",
                                                           "SEM BIAS OverLoad Alarm",
                                                           "SEM Power Unit Fan Alarm",
                                                           "SEM Fan Alarm"};

// "！" is the full-width exclamation mark, 0x81 0x49 in CP932.
constexpr std::string_view kSpecimenTouched =
    "The specimen touched the SEM column\x81\x49\r\n"
    "                Please contact with the service person.";

constexpr std::array<std::string_view, 20> kStage = {"Stage Not Initialize",
                                                     "Aperture Not Initialize", kSpecimenTouched,
                                                     "Driver Alarm", "Laser Scale Alarm"};

std::string Numbered(std::string_view group, int k, std::string_view text) {
  char head[32];
  std::snprintf(head, sizeof head, "%.*s Error %02d: ", static_cast<int>(group.size()),
                group.data(), k);
  return std::string(head) + std::string(text.empty() ? std::string_view("Reserved") : text);
}

}  // namespace

std::string DefaultAlarmText(int n) {
  if (n >= 1 && n <= 64) return Numbered("Vacuum", n, kVacuum[n - 1]);
  if (n >= 65 && n <= 84) return Numbered("Electronics", n - 64, kElectronics[n - 65]);
  if (n >= 85 && n <= 104) return Numbered("Stage", n - 84, kStage[n - 85]);
  if (n == 106) return "Ion Error   : HV Hardware Alarm";
  if (n >= 105 && n <= 110) {
    char head[32];
    std::snprintf(head, sizeof head, "Ion Error %02d: ", n - 104);
    return head;
  }
  if (n >= 111 && n <= 124) return Numbered("Ion", n - 104, "");
  if (n >= 125 && n <= 150) {
    char text[48];
    std::snprintf(text, sizeof text, "ERROR No.%03d: Unknown error.", n);
    return text;
  }
  return " ";
}

}  // namespace tarvel::shm
