#include "hub/hub_texts.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>

namespace tarvel::hub {
namespace {

// The n-th (0-based) 32-bit big-endian field of a payload, or nullptr-like absence.
bool Field(const std::vector<std::uint8_t>& p, std::size_t n, std::uint32_t* out) {
  const std::size_t at = n * 4;
  if (p.size() < at + 4) return false;
  *out = (std::uint32_t{p[at]} << 24) | (std::uint32_t{p[at + 1]} << 16) |
         (std::uint32_t{p[at + 2]} << 8) | std::uint32_t{p[at + 3]};
  return true;
}

std::string Hex(const std::vector<std::uint8_t>& p, std::size_t n, const char* fmt) {
  std::uint32_t v = 0;
  if (!Field(p, n, &v)) return "----";
  char buf[32];
  std::snprintf(buf, sizeof buf, fmt, v);
  return buf;
}

}  // namespace

std::string StampText(const QDateTime& t) {
  return t.toString("yy/MM/dd hh:mm:ss").toStdString();
}

std::string StampedLine(const std::string& text, const QDateTime& t) {
  return "<" + StampText(t) + ">: " + text;
}

std::string CommandLogLine(const link::TOrvoComAna::SentFrame& frame, const QDateTime& t) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "Cmd[%2d, %2d, %2d]", frame.ids.unit, frame.ids.item,
                frame.ids.mode);
  std::string line = StampedLine(buf, t);
  if (frame.ids.unit != link::kUnitHard3 || frame.ids.mode != link::kModeSet) return line;
  const auto& p = frame.payload;
  if (frame.ids.item == 3) {
    line += " DAC[" + Hex(p, 0, "%.3x") + "] " + Hex(p, 1, "%.4x");
  } else if (frame.ids.item == 4) {
    std::uint32_t sub = 0;
    const bool hasSub = Field(p, 0, &sub);
    const char* name = !hasSub    ? "DO?       "
                       : sub == 0 ? "DO        "
                       : sub == 1 ? "DOBitSet  "
                       : sub == 2 ? "DOBitReset"
                                  : "DOBit2    ";
    line += std::string(" ") + name + "[" + Hex(p, 1, "%.3x") + "] " + Hex(p, 2, "%.4x") + " : " +
            Hex(p, 3, "%.4x") + "(Mode:" + Hex(p, 0, "%.1x") + ")";
  }
  return line;
}

ClockCheck CheckControllerClock(const std::string& text, const QDateTime& pc) {
  if (text.size() != 19) return ClockCheck::kInvalid;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    const std::size_t pos = i + 1;  // the format is stated 1-based
    if (pos == 5 || pos == 8) {
      if (c != '/') return ClockCheck::kInvalid;
    } else if (pos == 11) {
      if (c != ' ') return ClockCheck::kInvalid;
    } else if (pos == 14 || pos == 17) {
      if (c != ':') return ClockCheck::kInvalid;
    } else if (std::isalpha(static_cast<unsigned char>(c))) {
      return ClockCheck::kInvalid;
    }
  }
  // Read with its four-digit year (no century guess); a text that is no real date (month 13,
  // hour 25, a stray sign) is invalid and changes nothing.
  const QDateTime ctl = QDateTime::fromString(QString::fromStdString(text), "yyyy/MM/dd hh:mm:ss");
  if (!ctl.isValid()) return ClockCheck::kInvalid;
  const qint64 diffMs = std::llabs(ctl.msecsTo(pc));
  return diffMs > 5000 ? ClockCheck::kOff : ClockCheck::kInStep;
}

bool IsPado(const std::string& sysName) {
  return sysName.find("PADO") != std::string::npos;
}

}  // namespace tarvel::hub
