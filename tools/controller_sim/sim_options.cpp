#include "controller_sim/sim_options.h"

#include <arpa/inet.h>

#include <algorithm>
#include <string_view>

namespace tarvel::controller_sim {

bool IsLoopback(const std::string& host) {
  in_addr v4{};
  if (inet_pton(AF_INET, host.c_str(), &v4) == 1) return (ntohl(v4.s_addr) >> 24) == 127;
  in6_addr v6{};
  if (inet_pton(AF_INET6, host.c_str(), &v6) == 1) return IN6_IS_ADDR_LOOPBACK(&v6);
  return false;
}

std::string Usage() {
  std::string u =
      "usage: tarvel-controller-sim [options]\n"
      "  --host H              loopback address to listen on (default 127.0.0.1)\n"
      "  --port P              TCP port (default 20000, 0 = ephemeral)\n"
      "  --log FILE|-          JSON-lines log of received frames and events\n"
      "  --split N             send every frame in pieces of N bytes, about 2 ms apart\n"
      "  --refuse              bind the port but never listen (connects are refused)\n"
      "  --scenario NAME       bad-header|len0|len11|lenmax|stall|close after the first system "
      "report\n"
      "  --no-control          do not read commands from stdin; run until SIGTERM\n";
  for (const IdentityKey& k : IdentityKeys()) {
    std::string opt = "  --" + std::string(k.key) + " V";
    opt.resize(std::max<std::size_t>(opt.size() + 1, 24), ' ');
    u += opt + k.help + "\n";
  }
  u += "stdin commands: report, frame, burst, raw, bad-header, length, stall, close, reset,\n"
       "  quit, set <key> <value>; each answered by 'ok <line>' or 'error <text>'.\n";
  return u;
}

base::Result<SimOptions> ParseOptions(int argc, const char* const* argv) {
  SimOptions o;
  for (int i = 1; i < argc; ++i) {
    std::string_view arg = argv[i];
    if (arg.substr(0, 2) != "--") {
      return base::Status::InvalidArgument("unexpected argument '" + std::string(arg) + "'");
    }
    std::string name(arg.substr(2));
    std::string value;
    bool hasValue = false;
    if (const std::size_t eq = name.find('='); eq != std::string::npos) {
      value = name.substr(eq + 1);
      name.resize(eq);
      hasValue = true;
    }
    auto takeValue = [&]() -> base::Status {
      if (hasValue) return base::Status::Ok();
      if (i + 1 >= argc) return base::Status::InvalidArgument("--" + name + " needs a value");
      value = argv[++i];
      hasValue = true;
      return base::Status::Ok();
    };
    auto noValue = [&]() -> base::Status {
      if (hasValue) return base::Status::InvalidArgument("--" + name + " takes no value");
      return base::Status::Ok();
    };
    base::Status s;
    if (name == "help") {
      o.help = true;
    } else if (name == "refuse") {
      if (!(s = noValue()).ok()) return s;
      o.refuse = true;
    } else if (name == "no-control") {
      if (!(s = noValue()).ok()) return s;
      o.control = false;
    } else if (name == "host") {
      if (!(s = takeValue()).ok()) return s;
      const std::string host = value == "localhost" ? "127.0.0.1" : value;
      if (!IsLoopback(host)) {
        return base::Status::InvalidArgument("--host " + value +
                                             " is not a loopback address; the simulator listens "
                                             "on 127.0.0.0/8 or ::1 only");
      }
      o.host = host;
    } else if (name == "port") {
      if (!(s = takeValue()).ok()) return s;
      base::Result<std::int32_t> p = ParseInt32(value);
      if (!p.ok() || *p < 0 || *p > 65535) {
        return base::Status::InvalidArgument("--port " + value + " is not a port number 0..65535");
      }
      o.port = static_cast<std::uint16_t>(*p);
    } else if (name == "log") {
      if (!(s = takeValue()).ok()) return s;
      if (value.empty()) return base::Status::InvalidArgument("--log needs a file name or -");
      o.logPath = value;
    } else if (name == "split") {
      if (!(s = takeValue()).ok()) return s;
      base::Result<std::int32_t> n = ParseInt32(value);
      if (!n.ok() || *n < 1) {
        return base::Status::InvalidArgument("--split " + value + " is not a piece size >= 1");
      }
      o.split = static_cast<std::size_t>(*n);
    } else if (name == "scenario") {
      if (!(s = takeValue()).ok()) return s;
      std::optional<Scenario> sc = ParseScenario(value);
      if (!sc) {
        return base::Status::InvalidArgument(
            "--scenario " + value + " is not one of bad-header, len0, len11, lenmax, stall, close");
      }
      o.scenario = *sc;
    } else if (IsIdentityKey(name)) {
      if (!(s = takeValue()).ok()) return s;
      if (!(s = SetIdentityField(o.identity, name, value)).ok()) return s;
    } else {
      return base::Status::InvalidArgument("unknown option --" + name);
    }
  }
  return o;
}

}  // namespace tarvel::controller_sim
