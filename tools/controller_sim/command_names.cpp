#include "controller_sim/command_names.h"

#include <array>
#include <cmath>
#include <cstdio>
#include <string_view>

#include "base/byte_reader.h"
#include "base/code_page.h"

namespace tarvel::controller_sim {
namespace {

// Fields in wire order, "type:name" separated by commas. Types: i int, u unsigned int, w word,
// b byte, d double, f float, s string. "t*:name" repeats to the end of the payload (a JSON
// array); "t?:name" is present only when bytes remain.
struct NamedCommand {
  std::int32_t unit;
  std::int32_t itemLo;
  std::int32_t itemHi;
  std::int32_t mode;
  const char* name;
  const char* fields;
};

constexpr const char* kMotion = "motion";  // decoded by DecodeStageMotion

constexpr std::array kCommands{
    // unit 1, system
    NamedCommand{1, 1, 1, 2, "CmdSysInfoRequest", ""},
    NamedCommand{1, 3, 3, 1, "CmdSysSetTime", "s:time"},
    NamedCommand{1, 12, 12, 1, "CmdSysDataInitialized", "i:flag"},
    NamedCommand{1, 13, 13, 1, "CmdSysMessageMask", "u:mask"},
    NamedCommand{1, 14, 14, 1, "CmdSysSyncRequest", "i:id"},
    NamedCommand{1, 100, 100, 1, "CmdSysQuit", ""},
    // unit 2 and 3, FIB optics
    NamedCommand{2, 1, 1, 2, "CmdOpticsRequest", ""},
    NamedCommand{2, 2, 11, 1, "CmdOpticsSetLens", "w:value"},
    NamedCommand{2, 12, 12, 1, "CmdOpticsSetMagCode", "b:code"},
    NamedCommand{2, 12, 12, 2, "CmdOpticsMagRequest", ""},
    NamedCommand{2, 13, 14, 1, "CmdOpticsSetLens", "w:value"},
    NamedCommand{2, 15, 15, 1, "CmdOpticsWobbler", "i:mode,i:amplitude,i:speed"},
    NamedCommand{2, 19, 19, 1, "CmdOpticsProbePolarity", "i:flag"},
    NamedCommand{2, 20, 20, 1, "CmdOpticsForceBlanking", "i:flag"},
    NamedCommand{2, 21, 21, 1, "CmdOpticsMagLock", "i:flag"},
    NamedCommand{2, 22, 22, 1, "CmdOpticsGamma", "w:selector,w:value"},
    NamedCommand{2, 23, 23, 1, "CmdOpticsForceBeamOn", "i:flag"},
    NamedCommand{2, 24, 24, 1, "CmdOpticsShiftX", "i:value"},
    NamedCommand{2, 25, 25, 1, "CmdOpticsShiftY", "i:value"},
    NamedCommand{2, 26, 26, 1, "CmdOpticsPixelSize", "d:size"},
    NamedCommand{2, 27, 27, 1, "CmdOpticsDialGain", "i:mode,i*:gains"},
    NamedCommand{3, 1, 1, 2, "CmdOpticsMonitorRequest", ""},
    // unit 6, ion source
    NamedCommand{6, 5, 5, 1, "CmdIonExec", "w:code,d*:values"},
    NamedCommand{6, 6, 6, 1, "CmdIonCurrentMode", "i:mode"},
    NamedCommand{6, 6, 6, 2, "CmdIonCurrentModeRequest", ""},
    NamedCommand{6, 7, 7, 1, "CmdIonPresetData",
                 "d:accV,d:lCur,d:hCur,d:nFilW,d:hFilW,d:cndHi,d:cndLo,d:cndExt"},
    NamedCommand{6, 7, 7, 2, "CmdIonPresetRequest", ""},
    NamedCommand{6, 8, 8, 3, "CmdIonMonitorStart", ""},
    NamedCommand{6, 8, 8, 4, "CmdIonMonitorStop", ""},
    NamedCommand{6, 10, 10, 2, "CmdIonDataRequest", ""},
    NamedCommand{6, 11, 11, 1, "CmdIonOscRecoverMode", "i:mode"},
    NamedCommand{6, 12, 12, 1, "CmdIonChange", "s:name"},
    NamedCommand{6, 13, 13, 1, "CmdIonAccRate", "i:rate"},
    NamedCommand{6, 15, 15, 1, "CmdIonStandby", "d:kind,d*:values"},
    // unit 8, scan
    NamedCommand{8, 2, 2, 1, "CmdScanCondition", "w*:words"},
    NamedCommand{8, 2, 2, 2, "CmdScanConditionRequest", ""},
    NamedCommand{8, 3, 3, 1, "CmdScanMode", "w:mode"},
    NamedCommand{8, 4, 4, 1, "CmdScanBitmapData", "w:width,w:height"},
    NamedCommand{8, 5, 5, 1, "CmdScanRotation", "d:rotation"},
    NamedCommand{8, 6, 6, 1, "CmdScanVectorData", "i:count"},
    // units 9 and 10, vacuum and stage
    NamedCommand{9, 1, 3, 2, "CmdVacRequest", ""},
    NamedCommand{9, 4, 4, 1, "CmdVacCommand", "s:keyword"},
    NamedCommand{10, 1, 2, 2, "CmdStageRequest", ""},
    NamedCommand{10, 6, 6, 1, "CmdStageParam", "i*:values"},
    NamedCommand{10, 6, 6, 2, "CmdStageParam", "i*:values"},
    NamedCommand{10, 7, 7, 1, "CmdStageMotion", kMotion},
    NamedCommand{10, 8, 8, 1, "CmdStageTrackBall", "i:a,i:b,i:c"},
    // units 15 to 22
    NamedCommand{15, 1, 1, 2, "CmdAdc64Request", ""},
    NamedCommand{18, 1, 1, 2, "CmdPowerRequest", ""},
    NamedCommand{18, 3, 6, 1, "CmdPowerSet", "i:on"},
    NamedCommand{19, 4, 4, 2, "CmdScan3Request", ""},
    NamedCommand{20, 2, 4, 2, "CmdApertureRequest", "i:selector"},
    NamedCommand{20, 4, 4, 1, "CmdApertureSelect", "i:zero,i:number"},
    NamedCommand{20, 5, 5, 1, "CmdApertureMove", "i*:values"},
    NamedCommand{20, 12, 12, 1, "CmdApertureTable", "i:number,d*:values"},
    NamedCommand{21, 2, 7, 1, "CmdEShowerSet", "d:value"},
    NamedCommand{21, 8, 8, 1, "CmdEShowerScanType", "i:type"},
    NamedCommand{22, 2, 3, 1, "CmdCPDSet", "d:value"},
    NamedCommand{22, 4, 4, 1, "CmdCPDType", "i:type"},
    // unit 23, Hard3
    NamedCommand{23, 1, 1, 2, "CmdHard3Request", ""},
    NamedCommand{23, 3, 3, 1, "CmdHard3SetDac", "i:address,i:value"},
    NamedCommand{23, 4, 4, 1, "CmdHard3Bits", "i:sub,i:address,i:bits,i?:width"},
    NamedCommand{23, 7, 7, 1, "CmdHard3MagK", "i:axis,d:value"},
    NamedCommand{23, 8, 8, 1, "CmdHard3RefAccV", "d:value"},
    NamedCommand{23, 9, 9, 1, "CmdHard3ShiftK", "i:axis,d:value"},
    NamedCommand{23, 10, 10, 1, "CmdHard3OpChannel",
                 "i:chNo,i:pb,i:no,i:min,i:max,i:dir,i:k,i:step"},
    NamedCommand{23, 11, 11, 1, "CmdHard3OpPanelDO", "i:on,i:chNo,i:doCh,i:doData"},
    NamedCommand{23, 12, 12, 1, "CmdHard3SidDefDac", "w:channel,w:value"},
    NamedCommand{23, 15, 15, 1, "CmdHard3MonitorLoop", "i:loopTime"},
    NamedCommand{23, 16, 16, 1, "CmdHard3OpPanelControlType", "i:type"},
    NamedCommand{23, 17, 17, 1, "CmdHard3MonitorLoop", "i:loopTime"},
    NamedCommand{23, 18, 18, 1, "CmdHard3MachineData", "i:section,i:index,d:value"},
    NamedCommand{23, 18, 18, 2, "CmdHard3MachineData", "i:section,i:index"},
    NamedCommand{23, 19, 19, 2, "CmdHard3StatusRequest", ""},
    NamedCommand{23, 20, 20, 1, "CmdHard3Wobbler", "i:mode,i:ch,i:max,i:min,i:step,i:interval"},
    NamedCommand{23, 21, 21, 1, "CmdHard3SlowUpParam", "d:mode,d:cl1,d:cl2,d:ol1,d:ol2"},
    NamedCommand{23, 22, 22, 1, "CmdHard3SetDac2", "i:address,i:value"},
    NamedCommand{23, 23, 23, 1, "CmdHard3DialGain", "i:zero,i:channel,i:syncOff,d:k,d:offset"},
    NamedCommand{23, 24, 24, 1, "CmdHard3MagCodeWithBeamMode", "i:mode,i:code"},
    NamedCommand{23, 25, 25, 1, "CmdHard3MagLock", "i:mode,i:flag"},
    // units 24 to 27
    NamedCommand{24, 3, 3, 1, "CmdHard2Write", "i:address,i:value"},
    NamedCommand{24, 4, 4, 1, "CmdHard2Bits", "i:zero,i:address,i:value"},
    NamedCommand{25, 3, 3, 1, "CmdMonSemSetV", "w:channel,w:value"},
    NamedCommand{25, 4, 4, 1, "CmdMonSemControl", "w:selector,w:value,w:mask"},
    NamedCommand{25, 5, 5, 1, "CmdMonSemPixelSize", "d:size"},
    NamedCommand{26, 1, 40, 2, "CmdGisRequest", ""},
    NamedCommand{26, 3, 33, 1, "CmdGisSet", "i:value"},
    NamedCommand{27, 1, 8, 2, "CmdIonVacRequest", ""},
    NamedCommand{27, 6, 6, 1, "CmdIonVacResetInterlock", ""},
};

const NamedCommand* Find(link::FrameIds ids) {
  for (const NamedCommand& c : kCommands) {
    if (c.unit == ids.unit && c.mode == ids.mode && ids.item >= c.itemLo && ids.item <= c.itemHi)
      return &c;
  }
  return nullptr;
}

std::string JsonText(std::string_view cp932) {
  const std::string utf8 = base::Cp932ToUtf8(cp932);
  std::string out = "\"";
  for (unsigned char ch : utf8) {
    if (ch == '"' || ch == '\\') {
      out += '\\';
      out += static_cast<char>(ch);
    } else if (ch < 0x20) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\u%04x", ch);
      out += buf;
    } else {
      out += static_cast<char>(ch);
    }
  }
  return out + "\"";
}

std::string JsonNumber(double v) {
  if (!std::isfinite(v)) return "null";  // JSON has no NaN or infinity
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.17g", v);
  return buf;
}

// Reads one value of `type`; false when it is not wholly inside the payload.
bool ReadValue(base::ByteReader& r, char type, std::string* json) {
  switch (type) {
    case 'i': {
      std::int32_t v = 0;
      if (!r.readI32be(&v)) return false;
      *json = std::to_string(v);
      return true;
    }
    case 'u': {
      std::uint32_t v = 0;
      if (!r.readU32be(&v)) return false;
      *json = std::to_string(v);
      return true;
    }
    case 'w': {
      std::uint16_t v = 0;
      if (!r.readU16be(&v)) return false;
      *json = std::to_string(v);
      return true;
    }
    case 'b': {
      std::uint8_t v = 0;
      if (!r.readU8(&v)) return false;
      *json = std::to_string(v);
      return true;
    }
    case 'd': {
      double v = 0;
      if (!r.readF64be(&v)) return false;
      *json = JsonNumber(v);
      return true;
    }
    case 'f': {
      float v = 0;
      if (!r.readF32be(&v)) return false;
      *json = JsonNumber(v);
      return true;
    }
    case 's': {
      std::string v;
      if (!r.readCString(&v)) return false;
      *json = JsonText(v);
      return true;
    }
    default:
      return false;
  }
}

std::string MotionJson(std::span<const std::uint8_t> payload) {
  const std::optional<StageMotion> m = DecodeStageMotion(payload);
  if (!m) return ",\"malformed\":true,\"bytes\":" + std::to_string(payload.size());
  std::string out = ",\"sub\":" + std::to_string(m->sub) + ",\"axes\":[";
  for (std::size_t i = 0; i < m->axes.size(); ++i) {
    const StageMotionEntry& e = m->axes[i];
    if (i > 0) out += ',';
    out += "{\"axis\":" + std::to_string(e.axis);
    if (e.mode) out += ",\"mode\":" + std::to_string(*e.mode);
    if (e.value) out += ",\"value\":" + JsonNumber(*e.value);
    out += '}';
  }
  return out + "]";
}

}  // namespace

const char* CommandName(link::FrameIds ids) {
  const NamedCommand* c = Find(ids);
  return c ? c->name : nullptr;
}

std::string CommandFieldsJson(link::FrameIds ids, std::span<const std::uint8_t> payload) {
  const NamedCommand* c = Find(ids);
  if (!c) return ",\"bytes\":" + std::to_string(payload.size());
  if (std::string_view(c->fields) == kMotion) return MotionJson(payload);
  base::ByteReader r(payload);
  std::string out;
  std::string_view rest(c->fields);
  while (!rest.empty()) {
    const std::size_t comma = rest.find(',');
    const std::string_view field = rest.substr(0, comma);
    rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
    const std::size_t colon = field.find(':');
    if (colon == std::string_view::npos || colon == 0) continue;
    const char type = field[0];
    const char modifier = colon > 1 ? field[1] : ' ';
    const std::string name(field.substr(colon + 1));
    std::string value;
    if (modifier == '*') {
      std::string array;
      while (!r.atEnd() && ReadValue(r, type, &value)) array += (array.empty() ? "" : ",") + value;
      out += ",\"" + name + "\":[" + array + "]";
      continue;
    }
    if (modifier == '?' && r.atEnd()) continue;
    if (!ReadValue(r, type, &value)) return out + ",\"truncated\":true";
    out += ",\"" + name + "\":" + value;
  }
  // Bulk frames carry their data after the description.
  if (!r.atEnd()) out += ",\"extra_bytes\":" + std::to_string(r.remaining());
  return out;
}

std::optional<StageMotion> DecodeStageMotion(std::span<const std::uint8_t> payload) {
  base::ByteReader r(payload);
  StageMotion m;
  std::int32_t count = 0;
  if (!r.readI32be(&m.sub) || !r.readI32be(&count)) return std::nullopt;
  if (m.sub < 0 || m.sub > 6) return std::nullopt;
  // At most ten axes exist; a larger count is a malformed command, not a reason to allocate.
  if (count < 0 || count > 10) return std::nullopt;
  const bool hasMode = m.sub == 1 || m.sub == 3 || m.sub == 4 || m.sub == 5 || m.sub == 6;
  const bool hasValue = m.sub == 3 || m.sub == 5;
  for (std::int32_t i = 0; i < count; ++i) {
    StageMotionEntry e;
    if (!r.readI32be(&e.axis)) return std::nullopt;
    if (hasMode) {
      std::int32_t mode = 0;
      if (!r.readI32be(&mode)) return std::nullopt;
      e.mode = mode;
    }
    if (hasValue) {
      float v = 0;
      if (!r.readF32be(&v)) return std::nullopt;
      e.value = v;
    }
    m.axes.push_back(e);
  }
  if (!r.atEnd()) return std::nullopt;
  return m;
}

}  // namespace tarvel::controller_sim
