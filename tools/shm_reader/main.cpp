// tarvel-shm: prints, watches and writes the fields of the server's shared records by name.
//
// Everything goes through the client library (tarvel_shm.h), so the tool speaks exactly the
// protocol other processes use: a value is read from one snapshot of the section taken under
// its mutex, a write is one access under the mutex.
//
//   tarvel-shm [--suffix S] [--json] RECORD [FIELD...]
//   tarvel-shm [--suffix S] [--json] --watch [--interval MS] [--changes N] [--duration MS]
//              RECORD [FIELD...]
//   tarvel-shm [--suffix S] --set RECORD FIELD VALUE
//   tarvel-shm --list [RECORD]
//
// FIELD is "Name", "Name[index]" (a record index) or "Name[KEY]"; a negative VALUE may follow
// as it is ("-0.5") or after "--". Text goes out as UTF-8 and
// is stored as CP932. Exit status: 0 done, 1 usage, 2 no such section or field, 3 mutex
// time-out (or its object busy being initialised), 4 other failure.
#include <signal.h>
#include <time.h>

#include <cctype>
#include <cerrno>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "base/code_page.h"
#include "base/decimal.h"
#include "tarvel_shm.h"

namespace {

volatile sig_atomic_t gStop = 0;
void OnSignal(int) {
  gStop = 1;
}

int Usage() {
  std::fprintf(stderr,
               "usage: tarvel-shm [--suffix S] [--json] RECORD [FIELD...]\n"
               "       tarvel-shm [--suffix S] [--json] --watch [--interval MS] [--changes N] "
               "[--duration MS] RECORD [FIELD...]\n"
               "       tarvel-shm [--suffix S] --set RECORD FIELD VALUE\n"
               "       tarvel-shm --list [RECORD]\n");
  return 1;
}

int ExitCode(int rc) {
  switch (rc) {
    case TARVEL_SHM_OK:
      return 0;
    case TARVEL_SHM_ERR_NOTFOUND:
    case TARVEL_SHM_ERR_ARG:
    case TARVEL_SHM_ERR_RANGE:
      return 2;
    case TARVEL_SHM_ERR_TIMEOUT:
    case TARVEL_SHM_ERR_BUSY:
      return 3;
    default:
      return 4;
  }
}

// One element to show: a field of the catalogue and one record index of it.
struct Item {
  tarvel_shm_field field;
  int fieldNo;  // position in the catalogue
  int index;    // record index
  long offset;
  std::string label;    // "Position[4]"
  const char* keyName;  // "ROT_CENTER_X" or nullptr
};

std::string Label(const tarvel_shm_field& f, int index) {
  std::string s = f.name;
  if (f.count > 1) s += "[" + std::to_string(index) + "]";
  return s;
}

Item MakeItem(const char* record, int fieldNo, const tarvel_shm_field& f, int index) {
  return Item{f,
              fieldNo,
              index,
              tarvel_shm_offset(f.code, index),
              Label(f, index),
              tarvel_shm_element_name(record, fieldNo, index - f.index)};
}

std::vector<Item> AllItems(const char* record) {
  std::vector<Item> items;
  const int n = tarvel_shm_field_count(record);
  for (int i = 0; i < n; ++i) {
    tarvel_shm_field f{};
    if (tarvel_shm_field_at(record, i, &f) != TARVEL_SHM_OK) continue;
    for (int k = 0; k < f.count; ++k) items.push_back(MakeItem(record, i, f, f.index + k));
  }
  return items;
}

bool ItemFor(const char* record, const char* text, Item* out) {
  tarvel_shm_field f{};
  int index = 0;
  if (tarvel_shm_find_field(record, text, &f, &index) != TARVEL_SHM_OK) return false;
  const int n = tarvel_shm_field_count(record);
  for (int i = 0; i < n; ++i) {
    tarvel_shm_field g{};
    if (tarvel_shm_field_at(record, i, &g) == TARVEL_SHM_OK && std::strcmp(g.name, f.name) == 0 &&
        g.index == f.index) {
      *out = MakeItem(record, i, f, index);
      return true;
    }
  }
  return false;
}

int CopySection(unsigned char* data, size_t size, void* ctx) {
  auto* snap = static_cast<std::vector<unsigned char>*>(ctx);
  snap->assign(data, data + size);
  return TARVEL_SHM_OK;
}

std::string JsonString(const std::string& utf8) {
  std::string out = "\"";
  for (unsigned char c : utf8) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\u%04x", c);
      out += buf;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "\"";
}

std::string Real(double v, bool json) {
  if (std::isnan(v) || std::isinf(v)) {
    if (json) return "null";
    return std::isnan(v) ? "nan" : (v > 0 ? "inf" : "-inf");
  }
  // The shortest form that reads back the same, for people, with "." in every locale.
  return tarvel::base::FormatReal(v);
}

// The value of one element in the snapshot, as text or JSON.
std::string Value(const Item& it, const std::vector<unsigned char>& snap, bool json) {
  const size_t w = static_cast<size_t>(it.field.width);
  if (it.offset < 0 || static_cast<size_t>(it.offset) + w > snap.size())
    return json ? "null" : "(outside the section)";
  const unsigned char* p = snap.data() + it.offset;
  switch (it.field.type) {
    case TARVEL_SHM_BYTE:
      return std::to_string(p[0]);
    case TARVEL_SHM_INT16: {
      int16_t v;
      std::memcpy(&v, p, 2);
      return std::to_string(v);
    }
    case TARVEL_SHM_INT32:
    case TARVEL_SHM_WORD32: {
      int32_t v;
      std::memcpy(&v, p, 4);
      return std::to_string(v);
    }
    case TARVEL_SHM_DOUBLE: {
      double v;
      std::memcpy(&v, p, 8);
      return Real(v, json);
    }
    case TARVEL_SHM_EXTENDED:
      return Real(tarvel_shm_ext_decode(p), json);
    default: {
      if (it.field.is_text) {
        const void* nul = std::memchr(p, 0, w);
        const size_t n = nul ? static_cast<size_t>(static_cast<const unsigned char*>(nul) - p) : w;
        const std::string text =
            tarvel::base::Cp932ToUtf8(std::string(reinterpret_cast<const char*>(p), n));
        return json ? JsonString(text) : "\"" + text + "\"";
      }
      std::string hex;
      char b[4];
      for (size_t i = 0; i < w; ++i) {
        std::snprintf(b, sizeof b, "%02x", p[i]);
        hex += b;
      }
      return json ? "\"" + hex + "\"" : hex;
    }
  }
}

bool Differs(const Item& it, const std::vector<unsigned char>& a,
             const std::vector<unsigned char>& b) {
  const size_t end = static_cast<size_t>(it.offset) + static_cast<size_t>(it.field.width);
  if (it.offset < 0 || end > a.size() || end > b.size()) return false;
  return std::memcmp(a.data() + it.offset, b.data() + it.offset,
                     static_cast<size_t>(it.field.width)) != 0;
}

void PrintText(const std::vector<Item>& items, const std::vector<unsigned char>& snap) {
  for (const Item& it : items) {
    std::printf("%s = %s", it.label.c_str(), Value(it, snap, false).c_str());
    if (it.keyName) std::printf("  # %s", it.keyName);
    std::printf("\n");
  }
}

// {"record":..., "section":..., "fields":{...}}; whole array fields become JSON arrays.
void PrintJson(const char* record, tarvel_shm* h, const std::vector<Item>& items, bool whole,
               const std::vector<unsigned char>& snap) {
  std::string out = "{\"record\":" + JsonString(record) +
                    ",\"section\":" + JsonString(tarvel_shm_section_name(h)) +
                    ",\"size\":" + std::to_string(snap.size()) + ",\"fields\":{";
  bool first = true;
  for (size_t i = 0; i < items.size();) {
    const Item& it = items[i];
    if (!first) out += ",";
    first = false;
    if (whole && it.field.count > 1) {
      out += JsonString(it.field.name) + ":[";
      for (int k = 0; k < it.field.count; ++k)
        out += (k ? "," : "") + Value(items[i + k], snap, true);
      out += "]";
      i += static_cast<size_t>(it.field.count);
    } else {
      out += JsonString(it.label) + ":" + Value(it, snap, true);
      ++i;
    }
  }
  out += "}}";
  std::printf("%s\n", out.c_str());
}

int Snapshot(tarvel_shm* h, std::vector<unsigned char>* snap) {
  const int rc = tarvel_shm_access(h, CopySection, snap);
  if (rc != TARVEL_SHM_OK) std::fprintf(stderr, "tarvel-shm: %s\n", tarvel_shm_last_error(h));
  return rc;
}

long long NowMs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<long long>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

std::string WallTime() {
  timespec ts{};
  clock_gettime(CLOCK_REALTIME, &ts);
  tm t{};
  localtime_r(&ts.tv_sec, &t);
  char buf[32];
  std::snprintf(buf, sizeof buf, "%02d:%02d:%02d.%03ld", t.tm_hour, t.tm_min, t.tm_sec,
                ts.tv_nsec / 1000000);
  return buf;
}

int Watch(const char* record, tarvel_shm* h, const std::vector<Item>& items, bool json,
          int intervalMs, long changesWanted, long durationMs) {
  std::vector<unsigned char> prev, cur;
  int rc = Snapshot(h, &prev);
  if (rc != TARVEL_SHM_OK) return ExitCode(rc);
  if (json) {
    PrintJson(record, h, items, false, prev);
  } else {
    PrintText(items, prev);
  }
  std::fflush(stdout);
  const long long start = NowMs();
  long changes = 0;
  while (!gStop) {
    if (durationMs >= 0 && NowMs() - start >= durationMs) break;
    const timespec pause{intervalMs / 1000, (intervalMs % 1000) * 1000000L};
    nanosleep(&pause, nullptr);
    // A skipped snapshot (peer holding the mutex) is simply retried at the next tick.
    if (tarvel_shm_access(h, CopySection, &cur) != TARVEL_SHM_OK) continue;
    for (const Item& it : items) {
      if (!Differs(it, prev, cur)) continue;
      if (json) {
        std::printf("{\"time\":%s,\"field\":%s,\"value\":%s}\n", JsonString(WallTime()).c_str(),
                    JsonString(it.label).c_str(), Value(it, cur, true).c_str());
      } else {
        std::printf("%s %s = %s\n", WallTime().c_str(), it.label.c_str(),
                    Value(it, cur, false).c_str());
      }
      ++changes;
    }
    std::fflush(stdout);
    prev.swap(cur);
    if (changesWanted > 0 && changes >= changesWanted) break;
  }
  return 0;
}

bool ParseInt(const char* s, long long* v) {
  errno = 0;
  char* end = nullptr;
  *v = std::strtoll(s, &end, 0);
  return errno == 0 && end != s && *end == '\0';
}

int Set(tarvel_shm* h, const Item& it, const char* text) {
  const tarvel_shm_field& f = it.field;
  long long n = 0;
  int rc = TARVEL_SHM_ERR_ARG;
  switch (f.type) {
    case TARVEL_SHM_BYTE:
      if (ParseInt(text, &n) && n >= 0 && n <= 255)
        rc = tarvel_shm_write_u8(h, f.code, it.index, static_cast<uint8_t>(n));
      break;
    case TARVEL_SHM_INT16:
      if (ParseInt(text, &n) && n >= INT16_MIN && n <= UINT16_MAX) {
        rc = tarvel_shm_write_i16(h, f.code, it.index, static_cast<int16_t>(n));
      }
      break;
    case TARVEL_SHM_INT32:
    case TARVEL_SHM_WORD32:
      if (ParseInt(text, &n) && n >= INT32_MIN && n <= UINT32_MAX) {
        rc = tarvel_shm_write_i32(h, f.code, it.index, static_cast<int32_t>(n));
      }
      break;
    case TARVEL_SHM_DOUBLE:
    case TARVEL_SHM_EXTENDED: {
      const auto parsed = tarvel::base::ParseReal(text);
      if (parsed) {
        const double d = *parsed;
        rc = f.type == TARVEL_SHM_DOUBLE ? tarvel_shm_write_f64(h, f.code, it.index, d)
                                         : tarvel_shm_write_ext(h, f.code, it.index, d);
      }
      break;
    }
    default:
      if (f.is_text) {
        // The text and its NUL; longer texts are cut to leave room for the terminator.
        std::string bytes = tarvel::base::Utf8ToCp932(text);
        if (bytes.size() > static_cast<size_t>(f.width) - 1)
          bytes.resize(static_cast<size_t>(f.width) - 1);
        rc = tarvel_shm_write(h, f.code, it.index, bytes.c_str(), bytes.size() + 1);
      }
      break;
  }
  if (rc == TARVEL_SHM_ERR_ARG && tarvel_shm_last_error(h)[0] == '\0') {
    std::fprintf(stderr, "tarvel-shm: \"%s\" is not a valid value for %s\n", text,
                 it.label.c_str());
  } else if (rc != TARVEL_SHM_OK) {
    std::fprintf(stderr, "tarvel-shm: %s\n", tarvel_shm_last_error(h));
  }
  return ExitCode(rc);
}

int List(const char* only) {
  for (int r = 0; const char* record = tarvel_shm_record_at(r); ++r) {
    if (only && std::strcmp(only, record) != 0) continue;
    std::printf("%s\n", record);
    const int n = tarvel_shm_field_count(record);
    for (int i = 0; i < n; ++i) {
      tarvel_shm_field f{};
      if (tarvel_shm_field_at(record, i, &f) != TARVEL_SHM_OK) continue;
      std::printf("  %-20s code %2d index %3d", f.name, f.code, f.index);
      if (f.count > 1)
        std::printf("..%-3d", f.index + f.count - 1);
      else
        std::printf("     ");
      std::printf(" offset %4ld type %d width %d\n", tarvel_shm_offset(f.code, f.index), f.type,
                  f.width);
    }
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const char* suffix = nullptr;
  bool json = false, watch = false, set = false, list = false;
  int intervalMs = 200;
  long changes = 0, durationMs = -1;
  std::vector<const char*> args;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    auto next = [&]() -> const char* { return i + 1 < argc ? argv[++i] : nullptr; };
    if (a == "--suffix") {
      if (!(suffix = next())) return Usage();
    } else if (a == "--json") {
      json = true;
    } else if (a == "--watch") {
      watch = true;
    } else if (a == "--set") {
      set = true;
    } else if (a == "--list") {
      list = true;
    } else if (a == "--interval" || a == "--changes" || a == "--duration") {
      const char* v = next();
      long long n = 0;
      if (!v || !ParseInt(v, &n) || n < 0) return Usage();
      if (a == "--interval") intervalMs = static_cast<int>(n < 1 ? 1 : n);
      if (a == "--changes") changes = static_cast<long>(n);
      if (a == "--duration") durationMs = static_cast<long>(n);
    } else if (a == "--help" || a == "-h") {
      Usage();
      return 0;
    } else if (a == "--") {
      for (++i; i < argc; ++i) args.push_back(argv[i]);
    } else if (a.size() > 1 && a[0] == '-' && !std::isdigit(static_cast<unsigned char>(a[1])) &&
               a[1] != '.') {
      return Usage();  // an unknown option; "-0.5" is a value
    } else {
      args.push_back(argv[i]);
    }
  }
  if (list) return List(args.empty() ? nullptr : args[0]);
  if (args.empty() || (set && args.size() != 3)) return Usage();
  const char* record = args[0];
  if (tarvel_shm_field_count(record) == 0) {
    std::fprintf(stderr, "tarvel-shm: unknown record %s\n", record);
    return 2;
  }

  std::vector<Item> items;
  const bool whole = args.size() == 1;
  if (whole) {
    items = AllItems(record);
  } else {
    for (size_t i = 1; i < (set ? 2 : args.size()); ++i) {
      Item it{};
      if (!ItemFor(record, args[i], &it)) {
        std::fprintf(stderr, "tarvel-shm: %s has no field %s\n", record, args[i]);
        return 2;
      }
      items.push_back(it);
    }
  }

  tarvel_shm* h = nullptr;
  const int rc = tarvel_shm_open(record, suffix, 0, &h);
  if (rc != TARVEL_SHM_OK) {
    std::fprintf(stderr, "tarvel-shm: cannot open %s%s (error %d): %s\n", record,
                 suffix ? suffix : "", rc, tarvel_shm_open_error());
    return ExitCode(rc);
  }
  int status = 0;
  if (set) {
    status = Set(h, items[0], args[2]);
  } else if (watch) {
    signal(SIGINT, OnSignal);
    signal(SIGTERM, OnSignal);
    status = Watch(record, h, items, json, intervalMs, changes, durationMs);
  } else {
    std::vector<unsigned char> snap;
    const int s = Snapshot(h, &snap);
    if (s != TARVEL_SHM_OK) {
      status = ExitCode(s);
    } else if (json) {
      PrintJson(record, h, items, whole, snap);
    } else {
      PrintText(items, snap);
    }
  }
  tarvel_shm_close(h);
  return status;
}
