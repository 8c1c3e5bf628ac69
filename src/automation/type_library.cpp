#include "automation/type_library.h"

#include <QString>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <span>

namespace tarvel::automation {

namespace {

struct RawMember {
  const char* name;
  char kind;  // 'm', 'g', 'p'
  std::int32_t dispid;
  const char* args;
};

#include "automation/type_library_table.inc"

struct RawCoclass {
  const char* name;
  const char* clsid;
  const char* iid;
  const char* eventIid;
  bool onMyEvent;
  std::span<const RawMember> members;
};

const RawCoclass kCoclasses[] = {
    {"SockSystem", "{ABA90EED-900A-11D2-8608-00C04FCB7FA4}",
     "{ABA90EE9-900A-11D2-8608-00C04FCB7FA4}", "{ABA90EEB-900A-11D2-8608-00C04FCB7FA4}", true,
     kSockSystem},
    {"SockOptics", "{67DECCB6-92FC-11D2-860D-00C04FCB7FA4}",
     "{67DECCB2-92FC-11D2-860D-00C04FCB7FA4}", "{67DECCB4-92FC-11D2-860D-00C04FCB7FA4}", false,
     kSockOptics},
    {"SockOpticsMonitor", "{D0F0B086-9654-11D2-8615-00C04FCB7FA4}",
     "{D0F0B082-9654-11D2-8615-00C04FCB7FA4}", "{D0F0B084-9654-11D2-8615-00C04FCB7FA4}", false,
     kSockOpticsMonitor},
    {"SockIon", "{D0F0B08C-9654-11D2-8615-00C04FCB7FA4}", "{D0F0B088-9654-11D2-8615-00C04FCB7FA4}",
     "{D0F0B08A-9654-11D2-8615-00C04FCB7FA4}", true, kSockIon},
    {"SockScan", "{3CA58F45-98B1-11D2-8617-00C04FCB7FA4}", "{3CA58F41-98B1-11D2-8617-00C04FCB7FA4}",
     "{3CA58F43-98B1-11D2-8617-00C04FCB7FA4}", false, kSockScan},
    {"SockVacuum", "{3CA58F4B-98B1-11D2-8617-00C04FCB7FA4}",
     "{3CA58F47-98B1-11D2-8617-00C04FCB7FA4}", "{3CA58F49-98B1-11D2-8617-00C04FCB7FA4}", false,
     kSockVacuum},
    {"SockStage", "{015031B4-9942-11D2-8618-00C04FCB7FA4}",
     "{015031B0-9942-11D2-8618-00C04FCB7FA4}", "{015031B2-9942-11D2-8618-00C04FCB7FA4}", false,
     kSockStage},
    {"SockAperture", "{015031BB-9942-11D2-8618-00C04FCB7FA4}",
     "{015031B7-9942-11D2-8618-00C04FCB7FA4}", "{015031B9-9942-11D2-8618-00C04FCB7FA4}", false,
     kSockAperture},
    {"SockEShower98", "{9378F795-9973-11D2-8618-00C04FCB7FA4}",
     "{9378F791-9973-11D2-8618-00C04FCB7FA4}", "{9378F793-9973-11D2-8618-00C04FCB7FA4}", false,
     kSockEShower98},
    {"SockCPD98", "{9378F79B-9973-11D2-8618-00C04FCB7FA4}",
     "{9378F797-9973-11D2-8618-00C04FCB7FA4}", "{9378F799-9973-11D2-8618-00C04FCB7FA4}", false,
     kSockCPD98},
    {"SockHard3", "{BD900756-B76A-11D2-862D-00C04FCB7FA4}",
     "{BD900752-B76A-11D2-862D-00C04FCB7FA4}", "{BD900754-B76A-11D2-862D-00C04FCB7FA4}", false,
     kSockHard3},
    {"SockMonitoringSEM", "{68029DF4-2D59-11D5-88E7-00C04FCB7FA4}",
     "{68029DF0-2D59-11D5-88E7-00C04FCB7FA4}", "{68029DF2-2D59-11D5-88E7-00C04FCB7FA4}", false,
     kSockMonitoringSEM},
};

std::string Trim(std::string_view s) {
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  return std::string(s);
}

TVarType ParseType(const std::string& t) {
  static const std::pair<const char*, TVarType> kTypes[] = {
      {"I2", TVarType::kI2},           {"I4", TVarType::kI4},    {"UI2", TVarType::kUI2},
      {"R4", TVarType::kR4},           {"R8", TVarType::kR8},    {"BSTR", TVarType::kBSTR},
      {"VARIANT", TVarType::kVARIANT}, {"BOOL", TVarType::kBOOL}};
  for (const auto& [name, type] : kTypes) {
    if (t == name) return type;
  }
  // The table is ours and fixed; a typo must fail the first test run, not pass silently.
  std::fprintf(stderr, "type library table: unknown type %s\n", t.c_str());
  std::abort();
}

std::vector<TArgInfo> ParseArgs(std::string_view list) {
  std::vector<TArgInfo> out;
  while (!list.empty()) {
    const std::size_t comma = list.find(',');
    std::string item = Trim(list.substr(0, comma));
    list = comma == std::string_view::npos ? std::string_view{} : list.substr(comma + 1);
    if (item.empty()) continue;
    TArgInfo a;
    if (item.rfind("inout ", 0) == 0) {
      a.dir = TArgDir::kInOut;
      item = item.substr(6);
    } else if (item.rfind("out ", 0) == 0) {
      a.dir = TArgDir::kOut;
      item = item.substr(4);
    }
    const std::size_t space = item.find(' ');
    a.type = ParseType(item.substr(0, space));
    a.name = space == std::string::npos ? "Value" : Trim(item.substr(space + 1));
    out.push_back(std::move(a));
  }
  return out;
}

TInterfaceInfo BuildDispatch(const RawCoclass& c) {
  TInterfaceInfo i;
  i.name = std::string("I") + c.name;
  i.iid = c.iid;
  i.help = std::string(c.name) + " オブジェクト のディスパッチ インターフェース";
  int slot = TTypeLibrary::kFirstSlot;
  for (const RawMember& r : c.members) {
    TMemberInfo m;
    m.name = r.name;
    m.kind = r.kind == 'g'   ? TMemberKind::kGet
             : r.kind == 'p' ? TMemberKind::kPut
                             : TMemberKind::kMethod;
    m.dispid = r.dispid;
    m.slot = slot++;
    m.args = ParseArgs(r.args);
    i.members.push_back(std::move(m));
  }
  return i;
}

std::vector<TCoclassInfo> Build() {
  std::vector<TCoclassInfo> out;
  for (const RawCoclass& r : kCoclasses) {
    TCoclassInfo c;
    c.name = r.name;
    c.className = std::string("T") + r.name;
    c.clsid = r.clsid;
    c.help = std::string(r.name) + " オブジェクト";
    c.dispatch = BuildDispatch(r);
    c.events.name = std::string("I") + r.name + "Events";
    c.events.iid = r.eventIid;
    c.events.help = std::string(r.name) + " オブジェクト のイベント インターフェース";
    if (r.onMyEvent) {
      TMemberInfo ev;
      ev.name = "OnMyEvent";
      ev.dispid = 1;
      ev.slot = 0;  // a pure dispatch interface has no slots of its own
      ev.args = {TArgInfo{"msg", TVarType::kI4, TArgDir::kIn}};
      c.events.members.push_back(std::move(ev));
    }
    out.push_back(std::move(c));
  }
  return out;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

std::string Escape(const std::string& s) {
  return QString::fromStdString(s).toHtmlEscaped().toStdString();
}

void AppendMethodXml(const TMemberInfo& m, bool annotate, std::string* xml) {
  *xml += "    <method name=\"" + m.DBusName() + "\">\n";
  if (annotate) {
    *xml += "      <annotation name=\"ProjectTarvel.DispId\" value=\"" + std::to_string(m.dispid) +
            "\"/>\n";
    *xml += "      <annotation name=\"ProjectTarvel.Slot\" value=\"" + std::to_string(m.slot) +
            "\"/>\n";
    *xml += "      <annotation name=\"ProjectTarvel.Kind\" value=\"" +
            std::string(KindName(m.kind)) + "\"/>\n";
  }
  for (const TArgInfo& a : m.args) {
    const std::string type(1, DBusTypeCode(a.type));
    auto arg = [&](const char* dir) {
      *xml += "      <arg name=\"" + a.name + "\" type=\"" + type + "\" direction=\"" + dir + "\"";
      if (annotate) {
        *xml += "><annotation name=\"ProjectTarvel.Type\" value=\"" +
                std::string(VarTypeName(a.type)) + "\"/></arg>\n";
      } else {
        *xml += "/>\n";
      }
    };
    if (a.dir != TArgDir::kOut) arg("in");
  }
  for (const TArgInfo& a : m.args) {
    if (a.dir == TArgDir::kIn) continue;
    *xml += "      <arg name=\"" + a.name + "\" type=\"" + std::string(1, DBusTypeCode(a.type)) +
            "\" direction=\"out\"";
    if (annotate) {
      *xml += "><annotation name=\"ProjectTarvel.Type\" value=\"" +
              std::string(VarTypeName(a.type)) + "\"/>" +
              (a.dir == TArgDir::kOut ? "<annotation name=\"ProjectTarvel.RetVal\" value=\"true\"/>"
                                      : "") +
              "</arg>\n";
    } else {
      *xml += "/>\n";
    }
  }
  *xml += "    </method>\n";
}

void AppendInterfacesXml(const TCoclassInfo& c, bool annotate, std::string* xml) {
  *xml += "  <interface name=\"" + c.dispatch.DBusName() + "\">\n";
  if (annotate) {
    *xml += "    <annotation name=\"ProjectTarvel.IID\" value=\"" + c.dispatch.iid + "\"/>\n";
    *xml += "    <annotation name=\"ProjectTarvel.HelpString\" value=\"" + Escape(c.dispatch.help) +
            "\"/>\n";
    *xml += "    <annotation name=\"ProjectTarvel.Dual\" value=\"true\"/>\n";
  }
  for (const TMemberInfo& m : c.dispatch.members) AppendMethodXml(m, annotate, xml);
  *xml += "  </interface>\n";
  *xml += "  <interface name=\"" + c.events.DBusName() + "\">\n";
  if (annotate) {
    *xml += "    <annotation name=\"ProjectTarvel.IID\" value=\"" + c.events.iid + "\"/>\n";
    *xml += "    <annotation name=\"ProjectTarvel.HelpString\" value=\"" + Escape(c.events.help) +
            "\"/>\n";
  }
  for (const TMemberInfo& ev : c.events.members) {
    *xml += "    <signal name=\"" + ev.name + "\">\n";
    if (annotate) {
      *xml += "      <annotation name=\"ProjectTarvel.DispId\" value=\"" +
              std::to_string(ev.dispid) + "\"/>\n";
    }
    *xml += "      <arg name=\"msg\" type=\"i\"/>\n    </signal>\n";
  }
  *xml += "  </interface>\n";
}

}  // namespace

char DBusTypeCode(TVarType t) {
  switch (t) {
    case TVarType::kI2:
      return 'n';
    case TVarType::kI4:
      return 'i';
    case TVarType::kUI2:
      return 'q';
    case TVarType::kR4:
    case TVarType::kR8:
      return 'd';
    case TVarType::kBSTR:
      return 's';
    case TVarType::kVARIANT:
      return 'v';
    case TVarType::kBOOL:
      return 'b';
  }
  return 'v';
}

std::string_view VarTypeName(TVarType t) {
  switch (t) {
    case TVarType::kI2:
      return "I2";
    case TVarType::kI4:
      return "I4";
    case TVarType::kUI2:
      return "UI2";
    case TVarType::kR4:
      return "R4";
    case TVarType::kR8:
      return "R8";
    case TVarType::kBSTR:
      return "BSTR";
    case TVarType::kVARIANT:
      return "VARIANT";
    case TVarType::kBOOL:
      return "BOOL";
  }
  return "VARIANT";
}

std::string_view KindName(TMemberKind k) {
  switch (k) {
    case TMemberKind::kMethod:
      return "method";
    case TMemberKind::kGet:
      return "get";
    case TMemberKind::kPut:
      return "put";
  }
  return "method";
}

std::string TMemberInfo::DBusName() const {
  switch (kind) {
    case TMemberKind::kGet:
      return "get_" + name;
    case TMemberKind::kPut:
      return "put_" + name;
    case TMemberKind::kMethod:
      break;
  }
  return name;
}

std::string TMemberInfo::InSignature() const {
  std::string s;
  for (const TArgInfo& a : args) {
    if (a.dir != TArgDir::kOut) s += DBusTypeCode(a.type);
  }
  return s;
}

std::string TMemberInfo::OutSignature() const {
  std::string s;
  for (const TArgInfo& a : args) {
    if (a.dir != TArgDir::kIn) s += DBusTypeCode(a.type);
  }
  return s;
}

const TMemberInfo* TInterfaceInfo::FindByDBusName(std::string_view dbusName) const {
  for (const TMemberInfo& m : members) {
    if (m.DBusName() == dbusName) return &m;
  }
  return nullptr;
}

const TMemberInfo* TInterfaceInfo::FindByName(std::string_view n) const {
  for (const TMemberInfo& m : members) {
    if (EqualsNoCase(m.name, n)) return &m;
  }
  return nullptr;
}

const TMemberInfo* TInterfaceInfo::FindByDispId(std::int32_t dispid, TMemberKind kind) const {
  for (const TMemberInfo& m : members) {
    if (m.dispid == dispid && m.kind == kind) return &m;
  }
  return nullptr;
}

const std::vector<TCoclassInfo>& TTypeLibrary::Coclasses() {
  static const std::vector<TCoclassInfo> kTable = Build();
  return kTable;
}

const TCoclassInfo* TTypeLibrary::Find(std::string_view key) {
  for (const TCoclassInfo& c : Coclasses()) {
    if (EqualsNoCase(c.ProgID(), key) || EqualsNoCase(c.clsid, key)) return &c;
  }
  return nullptr;
}

const TCoclassInfo* TTypeLibrary::FindByName(std::string_view coclass) {
  for (const TCoclassInfo& c : Coclasses()) {
    if (c.name == coclass) return &c;
  }
  return nullptr;
}

std::string TTypeLibrary::InterfaceXml(const TCoclassInfo& c) {
  std::string xml;
  AppendInterfacesXml(c, false, &xml);
  return xml;
}

std::string TTypeLibrary::TypeLibraryXml() {
  std::string xml =
      "<!DOCTYPE node PUBLIC \"-//freedesktop//DTD D-BUS Object Introspection 1.0//EN\"\n"
      " \"http://www.freedesktop.org/standards/dbus/1.0/introspect.dtd\">\n";
  xml += "<node name=\"/ProjectTarvel\">\n";
  xml += std::string("  <annotation name=\"ProjectTarvel.Library\" value=\"") + kName + "\"/>\n";
  xml += std::string("  <annotation name=\"ProjectTarvel.LibId\" value=\"") + kLibId + "\"/>\n";
  xml += std::string("  <annotation name=\"ProjectTarvel.Version\" value=\"") + kVersion + "\"/>\n";
  xml += "  <annotation name=\"ProjectTarvel.HelpString\" value=\"" + Escape(kHelp) + "\"/>\n";
  for (const TCoclassInfo& c : Coclasses()) {
    xml += "  <node name=\"" + c.name + "\">\n";
    xml += "  <annotation name=\"ProjectTarvel.CLSID\" value=\"" + c.clsid + "\"/>\n";
    xml += "  <annotation name=\"ProjectTarvel.ProgID\" value=\"" + c.ProgID() + "\"/>\n";
    xml += "  <annotation name=\"ProjectTarvel.Class\" value=\"" + c.className + "\"/>\n";
    xml += "  <annotation name=\"ProjectTarvel.HelpString\" value=\"" + Escape(c.help) + "\"/>\n";
    AppendInterfacesXml(c, true, &xml);
    xml += "  </node>\n";
  }
  xml += "</node>\n";
  return xml;
}

}  // namespace tarvel::automation
