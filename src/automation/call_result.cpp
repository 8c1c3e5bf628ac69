#include "automation/call_result.h"

#include <cstdio>

namespace tarvel::automation {

std::string HResultSymbol(std::int32_t hr) {
  switch (hr) {
    case kS_OK:
      return "S_OK";
    case kE_UNEXPECTED:
      return "E_UNEXPECTED";
    case kE_NOTIMPL:
      return "E_NOTIMPL";
    case kE_INVALIDARG:
      return "E_INVALIDARG";
    case kE_ACCESSDENIED:
      return "E_ACCESSDENIED";
    case kREGDB_E_CLASSNOTREG:
      return "REGDB_E_CLASSNOTREG";
    case kCONNECT_E_NOCONNECTION:
      return "CONNECT_E_NOCONNECTION";
    case kCONNECT_E_ADVISELIMIT:
      return "CONNECT_E_ADVISELIMIT";
    case kDISP_E_MEMBERNOTFOUND:
      return "DISP_E_MEMBERNOTFOUND";
    case kDISP_E_UNKNOWNNAME:
      return "DISP_E_UNKNOWNNAME";
    default:
      break;
  }
  char buf[32];
  std::snprintf(buf, sizeof buf, "HRESULT_0x%08X", static_cast<unsigned>(hr));
  return buf;
}

}  // namespace tarvel::automation
