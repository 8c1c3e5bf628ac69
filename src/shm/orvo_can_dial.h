// TOrvoCanDial: the operation panel's dials, driven through the CAN library libcan32.so.
//
// LoadCanLibrary opens the library by absolute path from the first search folder that holds
// it (by default the program's folder), falling back to the library path; the current
// directory is never changed, and the data folder is never searched. Every entry point is looked up
// by name and guarded: a missing one answers 3 (and a missing SendCanObj logs "SendCanObj =
// Invalid"). Open loads the library and, 100 ms later on a one-shot timer (never a sleep), calls
// CANOpen, InitCan(2) and CanSetBaudrate(3); until then sends answer 3 and nothing is stored.
// Unloading calls CANClose only after that CANOpen.
//
// The pair senders build the panel frames (little-endian) from one new value and the other
// value of the pair taken from the dial record, send them and store the new value. A dial word
// that cannot be read from the record is taken from the copy of what this link last stored.
// Main thread only; the library is closed and unloaded on destruction.
#pragma once

#include <QObject>
#include <QTimer>

#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "base/status.h"
#include "shm/can32_api.h"

namespace tarvel::shm {

class TOrvoCanDial : public QObject {
  Q_OBJECT

 public:
  // Access to the dial record's words (2..7 read and written, 10 read).
  struct DialRecord {
    std::function<base::Result<std::int32_t>(int word)> get;
    std::function<base::Status(int word, std::int32_t value)> set;
  };
  static constexpr std::uint8_t kMissing = 3;
  static constexpr const char* kLibraryName = "libcan32.so";
  static constexpr int kOpenDelayMs = 100;

  explicit TOrvoCanDial(DialRecord record, QObject* parent = nullptr);
  ~TOrvoCanDial() override;
  TOrvoCanDial(const TOrvoCanDial&) = delete;
  TOrvoCanDial& operator=(const TOrvoCanDial&) = delete;

  // The folders searched by default: the program's folder (the library path comes after).
  static std::vector<std::filesystem::path> DefaultSearchDirs();
  // Loads the library; on failure shows "Unable to load CAN32.DLL" through OnMessage and goes
  // on with every entry point missing.
  base::Status LoadCanLibrary(const std::vector<std::filesystem::path>& dirs);
  // LoadCanLibrary, then after delayMs: CANOpen, InitCan(2), CanSetBaudrate(3), OnReady.
  void Open(const std::vector<std::filesystem::path>& dirs, int delayMs = kOpenDelayMs);
  // CANClose when present, then unload. Safe to call twice.
  void UnloadCanLibrary();

  bool Loaded() const { return handle_ != nullptr; }
  bool Ready() const { return ready_; }
  const std::string& LibraryPath() const { return libraryPath_; }

  std::uint8_t CanSetBaudrate(std::uint8_t code);
  std::uint8_t InitCan(std::uint8_t channel);
  std::uint8_t SendCanObj(const CanObj& obj);

  std::uint8_t SetDial2(std::int32_t a);
  std::uint8_t SetDial3(std::int32_t b);
  std::uint8_t SetDial4(std::int32_t a);
  std::uint8_t SetDial5(std::int32_t b);
  std::uint8_t SetDial6(std::int32_t a);
  std::uint8_t SetDial7(std::int32_t b);
  std::uint8_t SendFieldValue(std::int32_t v);

  // "ID:0x00000502 DLC:6 Data:  34 12 56 00 07 00".
  static std::string FrameLogLine(const CanObj& obj);

  bool CanLogging = false;
  std::function<void(const std::string& line)> OnLog;  // CAN log lines, while CanLogging
  std::function<void(const std::string& title, const std::string& text)> OnMessage;
  std::function<void()> OnReady;

 private:
  void FinishOpen();
  std::int32_t Word(int i);
  void Store(int i, std::int32_t v);
  // Dials 2 and 3 share one frame (with word 10); only the one that changed is stored.
  std::uint8_t SendDials23(std::int32_t dial2, std::int32_t dial3, int changed);
  void Log(const std::string& line);

  DialRecord record_;
  void* handle_ = nullptr;
  std::string libraryPath_;
  bool ready_ = false;
  bool opened_ = false;  // CANOpen was called; only then does unloading call CANClose
  QTimer openTimer_;
  CANOpenFn canOpen_ = nullptr;
  CANCloseFn canClose_ = nullptr;
  CanSetBaudrateFn canSetBaudrate_ = nullptr;
  InitCanFn initCan_ = nullptr;
  GetCanIDRcvFn getCanIdRcv_ = nullptr;
  GetCanIDStatusFn getCanIdStatus_ = nullptr;
  SendCanObjFn sendCanObj_ = nullptr;
  std::array<std::int32_t, 11> mirror_{};  // what this link last stored, per dial word
};

}  // namespace tarvel::shm
