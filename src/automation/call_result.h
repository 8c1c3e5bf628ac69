// TCallResult: what an automation member returns, as COM would see it.
//
// A member either succeeds (S_OK) with its outputs, or fails with a failure HRESULT and a
// description; the D-Bus adaptor turns a failure into the named D-Bus error and keeps the
// description for GetErrorInfo. Outputs are the in/out values and then the return value, in
// argument order, as canonical Qt types (qint16, qint32, quint16, float or double, QString,
// bool, QVariant); an output left out is its type's empty value.
#pragma once

#include <QVariant>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "base/status.h"

namespace tarvel::automation {

inline constexpr std::int32_t kS_OK = 0;
inline constexpr std::int32_t kE_UNEXPECTED = static_cast<std::int32_t>(0x8000FFFF);
inline constexpr std::int32_t kE_NOTIMPL = static_cast<std::int32_t>(0x80004001);
inline constexpr std::int32_t kE_INVALIDARG = static_cast<std::int32_t>(0x80070057);
inline constexpr std::int32_t kE_ACCESSDENIED = static_cast<std::int32_t>(0x80070005);
inline constexpr std::int32_t kREGDB_E_CLASSNOTREG = static_cast<std::int32_t>(0x80040154);
inline constexpr std::int32_t kCONNECT_E_NOCONNECTION = static_cast<std::int32_t>(0x80040200);
inline constexpr std::int32_t kCONNECT_E_ADVISELIMIT = static_cast<std::int32_t>(0x80040201);
inline constexpr std::int32_t kDISP_E_MEMBERNOTFOUND = static_cast<std::int32_t>(0x80020003);
inline constexpr std::int32_t kDISP_E_UNKNOWNNAME = static_cast<std::int32_t>(0x80020006);

// "E_UNEXPECTED" and so on; "HRESULT_0x%08X" for codes without a symbol.
std::string HResultSymbol(std::int32_t hr);

struct TCallResult {
  std::int32_t hresult = kS_OK;
  std::string description;
  std::vector<QVariant> outputs;

  bool ok() const { return hresult >= 0; }
  static TCallResult Ok(std::vector<QVariant> out = {}) {
    TCallResult r;
    r.outputs = std::move(out);
    return r;
  }
  static TCallResult Fail(std::int32_t hr, std::string description) {
    TCallResult r;
    r.hresult = hr;
    r.description = std::move(description);
    return r;
  }
  // A failed Status becomes E_UNEXPECTED with its message, as the member boundary does.
  static TCallResult From(const base::Status& s) {
    return s.ok() ? Ok() : Fail(kE_UNEXPECTED, s.message());
  }
};

// Finishes a call; called exactly once, now or later (a member that waits).
using TReply = std::function<void(TCallResult)>;

}  // namespace tarvel::automation
