// TTypeLibrary: the one table of the automation server's type library.
//
// Every coclass, interface, member, dispatch id, slot order, argument type and help string lives
// here. The D-Bus interfaces (introspection XML and the method signatures the adaptor checks),
// late binding by dispatch id and the installed type-library XML are all produced from it, so
// they cannot drift apart. The table is built once, on first use, and never changes; references
// into it stay valid for the life of the process.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tarvel::automation {

// Automation types of the interfaces and their D-Bus type codes.
enum class TVarType { kI2, kI4, kUI2, kR4, kR8, kBSTR, kVARIANT, kBOOL };
char DBusTypeCode(TVarType t);             // 'n', 'i', 'q', 'd', 'd', 's', 'v', 'b'
std::string_view VarTypeName(TVarType t);  // "I2", "I4", ...

enum class TArgDir { kIn, kInOut, kOut };  // kOut is the return value (always last)
enum class TMemberKind { kMethod, kGet, kPut };
std::string_view KindName(TMemberKind k);  // "method", "get", "put"

struct TArgInfo {
  std::string name;
  TVarType type = TVarType::kI4;
  TArgDir dir = TArgDir::kIn;
};

struct TMemberInfo {
  std::string name;  // as in the type library: "SocketStatus"
  TMemberKind kind = TMemberKind::kMethod;
  std::int32_t dispid = 0;
  int slot = 0;  // vtable slot: 7 (after IDispatch's seven) + position in the interface
  std::vector<TArgInfo> args;
  // The D-Bus method: "get_SocketStatus", "put_SocketStatus" or the name itself.
  std::string DBusName() const;
  std::string InSignature() const;   // in and in/out arguments
  std::string OutSignature() const;  // in/out then out arguments
};

struct TInterfaceInfo {
  std::string name;  // "ISockSystem"
  std::string iid;   // "{ABA90EE9-...}"
  std::string help;
  std::vector<TMemberInfo> members;  // slot order
  std::string DBusName() const { return "ProjectTarvel." + name; }
  const TMemberInfo* FindByDBusName(std::string_view dbusName) const;
  // Late binding: case-insensitive, as IDispatch::GetIDsOfNames is.
  const TMemberInfo* FindByName(std::string_view name) const;
  const TMemberInfo* FindByDispId(std::int32_t dispid, TMemberKind kind) const;
};

struct TCoclassInfo {
  std::string name;       // "SockSystem"
  std::string className;  // "TSockSystem"
  std::string clsid;
  std::string help;  // "SockSystem オブジェクト"
  TInterfaceInfo dispatch;
  TInterfaceInfo events;  // OnMyEvent for SockSystem and SockIon, empty for the rest
  std::string ProgID() const { return "ProjectTarvel." + name; }
  bool HasOnMyEvent() const { return !events.members.empty(); }
};

class TTypeLibrary {
 public:
  static constexpr const char* kName = "ProjectTarvel";
  static constexpr const char* kLibId = "{ABA90EE8-900A-11D2-8608-00C04FCB7FA4}";
  static constexpr const char* kVersion = "1.0";
  static constexpr const char* kHelp = "Project1 ライブラリ";
  static constexpr int kFirstSlot = 7;  // IDispatch's seven slots come first

  // The twelve coclasses in type-library order.
  static const std::vector<TCoclassInfo>& Coclasses();
  // By ProgID ("ProjectTarvel.SockStage", case-insensitive) or class identifier (in braces,
  // case-insensitive); nullptr for anything else.
  static const TCoclassInfo* Find(std::string_view progidOrClsid);
  static const TCoclassInfo* FindByName(std::string_view coclass);

  // D-Bus introspection of one object's own interfaces (dispatch and event interface), without
  // the <node> wrapper.
  static std::string InterfaceXml(const TCoclassInfo& c);
  // The installed type library: introspection XML annotated with identifiers, dispatch ids,
  // slot order and help strings.
  static std::string TypeLibraryXml();
};

}  // namespace tarvel::automation
