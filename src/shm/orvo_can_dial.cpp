#include "shm/orvo_can_dial.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cstdio>
#include <system_error>

namespace tarvel::shm {
namespace {

void PutLE(std::uint8_t* at, std::uint32_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) at[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

}  // namespace

TOrvoCanDial::TOrvoCanDial(DialRecord record, QObject* parent)
    : QObject(parent), record_(std::move(record)) {
  openTimer_.setSingleShot(true);
  connect(&openTimer_, &QTimer::timeout, this, [this] { FinishOpen(); });
}

TOrvoCanDial::~TOrvoCanDial() {
  UnloadCanLibrary();
}

std::vector<std::filesystem::path> TOrvoCanDial::DefaultSearchDirs() {
  std::vector<std::filesystem::path> dirs;
  std::error_code ec;
  const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  // Only the program's folder, then the library path: code is never loaded from the data
  // folder, which holds files other users edit.
  if (!ec) dirs.push_back(exe.parent_path());
  return dirs;
}

base::Status TOrvoCanDial::LoadCanLibrary(const std::vector<std::filesystem::path>& dirs) {
  UnloadCanLibrary();
  std::string tried;
  for (const auto& dir : dirs) {
    std::error_code ec;
    const auto p = std::filesystem::absolute(dir / kLibraryName, ec);
    if (ec || !std::filesystem::is_regular_file(p, ec)) continue;
    handle_ = dlopen(p.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle_) {
      libraryPath_ = p.string();
      break;
    }
    tried += std::string(" ") + dlerror();
  }
  if (!handle_) {
    // Last, the library path, as the dynamic loader searches it.
    handle_ = dlopen(kLibraryName, RTLD_NOW | RTLD_LOCAL);
    if (handle_) libraryPath_ = kLibraryName;
  }
  if (!handle_) {
    if (OnMessage) OnMessage("Error", "Unable to load CAN32.DLL");
    return base::Status::NotFound("libcan32.so not found or not loadable" + tried);
  }
  auto sym = [this](const char* name) { return dlsym(handle_, name); };
  canOpen_ = reinterpret_cast<CANOpenFn>(sym("CANOpen"));
  canClose_ = reinterpret_cast<CANCloseFn>(sym("CANClose"));
  canSetBaudrate_ = reinterpret_cast<CanSetBaudrateFn>(sym("CanSetBaudrate"));
  initCan_ = reinterpret_cast<InitCanFn>(sym("InitCan"));
  getCanIdRcv_ = reinterpret_cast<GetCanIDRcvFn>(sym("GetCanIDRcv"));
  getCanIdStatus_ = reinterpret_cast<GetCanIDStatusFn>(sym("GetCanIDStatus"));
  sendCanObj_ = reinterpret_cast<SendCanObjFn>(sym("SendCanObj"));
  return base::Status::Ok();
}

void TOrvoCanDial::Open(const std::vector<std::filesystem::path>& dirs, int delayMs) {
  (void)LoadCanLibrary(dirs);
  openTimer_.start(delayMs);
}

void TOrvoCanDial::FinishOpen() {
  if (canOpen_) {
    canOpen_();
    opened_ = true;
  }
  (void)InitCan(2);
  (void)CanSetBaudrate(3);
  ready_ = true;
  if (OnReady) OnReady();
}

void TOrvoCanDial::UnloadCanLibrary() {
  openTimer_.stop();
  ready_ = false;
  // CANClose belongs to a CANOpen that was made: not when the library lacks CANOpen, nor when
  // it is unloaded before the delayed open.
  if (handle_ && canClose_ && opened_) canClose_();
  opened_ = false;
  if (handle_) dlclose(handle_);
  handle_ = nullptr;
  libraryPath_.clear();
  canOpen_ = nullptr;
  canClose_ = nullptr;
  canSetBaudrate_ = nullptr;
  initCan_ = nullptr;
  getCanIdRcv_ = nullptr;
  getCanIdStatus_ = nullptr;
  sendCanObj_ = nullptr;
}

std::uint8_t TOrvoCanDial::CanSetBaudrate(std::uint8_t code) {
  return canSetBaudrate_ ? canSetBaudrate_(code) : kMissing;
}

std::uint8_t TOrvoCanDial::InitCan(std::uint8_t channel) {
  return initCan_ ? initCan_(channel) : kMissing;
}

std::string TOrvoCanDial::FrameLogLine(const CanObj& obj) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%08X", obj.id);
  std::string line = std::string("ID:0x") + buf + " DLC:" + std::to_string(obj.dlc) + " Data: ";
  const int n = obj.dlc > 8 ? 8 : obj.dlc;  // never past the data bytes
  for (int i = 0; i < n; ++i) {
    std::snprintf(buf, sizeof buf, " %02X", obj.data[i]);
    line += buf;
  }
  return line;
}

void TOrvoCanDial::Log(const std::string& line) {
  if (CanLogging && OnLog) OnLog(line);
}

std::uint8_t TOrvoCanDial::SendCanObj(const CanObj& obj) {
  if (!sendCanObj_ || !ready_) {
    Log("SendCanObj = Invalid");
    return kMissing;
  }
  CanObj copy = obj;  // the library takes a mutable pointer
  const std::uint8_t result = sendCanObj_(&copy);
  Log(FrameLogLine(obj));
  return result;
}

std::int32_t TOrvoCanDial::Word(int i) {
  if (record_.get) {
    auto r = record_.get(i);
    if (r.ok()) return r.value();
  }
  return mirror_[static_cast<std::size_t>(i)];
}

void TOrvoCanDial::Store(int i, std::int32_t v) {
  mirror_[static_cast<std::size_t>(i)] = v;
  if (record_.set) (void)record_.set(i, v);
}

namespace {

CanObj Pair16(std::uint16_t id, std::int32_t a, std::int32_t b) {
  CanObj o{};
  o.id = id;
  o.dlc = 4;
  PutLE(o.data, static_cast<std::uint32_t>(a), 2);
  PutLE(o.data + 2, static_cast<std::uint32_t>(b), 2);
  return o;
}

}  // namespace

std::uint8_t TOrvoCanDial::SendDials23(std::int32_t dial2, std::int32_t dial3, int changed) {
  CanObj o = Pair16(0x502, dial2, dial3);
  o.dlc = 6;
  o.data[4] = static_cast<std::uint8_t>(Word(10));
  o.data[5] = 0;
  const std::uint8_t r = SendCanObj(o);
  if (ready_) Store(changed, changed == 2 ? dial2 : dial3);
  return r;
}

std::uint8_t TOrvoCanDial::SetDial2(std::int32_t a) {
  return SendDials23(a, Word(3), 2);
}

std::uint8_t TOrvoCanDial::SetDial3(std::int32_t b) {
  return SendDials23(Word(2), b, 3);
}

namespace {

CanObj Pair32_16(std::int32_t a, std::int32_t b) {
  CanObj o{};
  o.id = 0x505;
  o.dlc = 6;
  PutLE(o.data, static_cast<std::uint32_t>(a), 4);
  PutLE(o.data + 4, static_cast<std::uint32_t>(b), 2);
  return o;
}

}  // namespace

std::uint8_t TOrvoCanDial::SetDial4(std::int32_t a) {
  const std::uint8_t r = SendCanObj(Pair32_16(a, Word(5)));
  if (ready_) Store(4, a);
  return r;
}

std::uint8_t TOrvoCanDial::SetDial5(std::int32_t b) {
  const std::uint8_t r = SendCanObj(Pair32_16(Word(4), b));
  if (ready_) Store(5, b);
  return r;
}

std::uint8_t TOrvoCanDial::SetDial6(std::int32_t a) {
  const std::uint8_t r = SendCanObj(Pair16(0x50A, a, Word(7)));
  if (ready_) Store(6, a);
  return r;
}

std::uint8_t TOrvoCanDial::SetDial7(std::int32_t b) {
  const std::uint8_t r = SendCanObj(Pair16(0x50A, Word(6), b));
  if (ready_) Store(7, b);
  return r;
}

std::uint8_t TOrvoCanDial::SendFieldValue(std::int32_t v) {
  CanObj o{};
  o.id = 0x509;
  o.dlc = 4;
  PutLE(o.data, static_cast<std::uint32_t>(v), 4);
  return SendCanObj(o);
}

}  // namespace tarvel::shm
