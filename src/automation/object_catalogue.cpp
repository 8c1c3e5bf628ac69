#include "automation/object_catalogue.h"

#include <map>
#include <string_view>

#include "automation/automation_object.h"
#include "automation/sock_ion.h"
#include "automation/sock_system.h"

namespace tarvel::automation {

namespace {

struct TRow {
  std::string_view coclass;
  // Both empty: the coclass is not built yet, and every member answers E_NOTIMPL.
  const TMemberRoutes& (*routes)();
  std::unique_ptr<TAutomationObject> (*make)(TAutomationContext&);
};

template <class T>
std::unique_ptr<TAutomationObject> MakeOf(TAutomationContext& context) {
  return std::make_unique<T>(context);
}

constexpr TRow kNotBuilt(std::string_view coclass) {
  return {coclass, nullptr, nullptr};
}

const TRow kRows[] = {
    {"SockSystem", &TSockSystem::Routes, &MakeOf<TSockSystem>},
    kNotBuilt("SockOptics"),
    kNotBuilt("SockOpticsMonitor"),
    {"SockIon", &TSockIon::Routes, &MakeOf<TSockIon>},
    kNotBuilt("SockScan"),
    kNotBuilt("SockVacuum"),
    kNotBuilt("SockStage"),
    kNotBuilt("SockAperture"),
    kNotBuilt("SockEShower98"),
    kNotBuilt("SockCPD98"),
    kNotBuilt("SockHard3"),
    kNotBuilt("SockMonitoringSEM"),
};

const TRow* FindRow(const TCoclassInfo& c) {
  for (const TRow& r : kRows) {
    if (r.coclass == c.name) return &r;
  }
  return nullptr;
}

}  // namespace

const TMemberRoutes& TObjectCatalogue::Routes(const TCoclassInfo& coclass) {
  if (const TRow* row = FindRow(coclass); row && row->routes) return row->routes();
  // The type library never changes, so one not-built table per coclass serves the process.
  static std::map<const TCoclassInfo*, TMemberRoutes> notBuilt;
  auto it = notBuilt.find(&coclass);
  if (it == notBuilt.end()) {
    it = notBuilt.emplace(&coclass, TMemberRoutes::NotBuiltCoclass(coclass)).first;
  }
  return it->second;
}

std::unique_ptr<TAutomationObject> TObjectCatalogue::Make(const TCoclassInfo& coclass,
                                                          TAutomationContext& context) {
  if (const TRow* row = FindRow(coclass); row && row->make) return row->make(context);
  return std::make_unique<TAutomationObject>(Routes(coclass), context);
}

std::vector<std::string> TObjectCatalogue::Problems() {
  std::vector<std::string> out;
  for (const TRow& r : kRows) {
    if (!TTypeLibrary::FindByName(r.coclass)) {
      out.push_back("the catalogue lists " + std::string(r.coclass) + ", no coclass of the table");
    }
    if (!r.routes != !r.make) out.push_back(std::string(r.coclass) + " has routes or a maker only");
    if (r.routes && r.routes().Coclass().name != r.coclass) {
      out.push_back("the row " + std::string(r.coclass) + " has the routes of " +
                    r.routes().Coclass().name);
    }
  }
  for (const TCoclassInfo& c : TTypeLibrary::Coclasses()) {
    if (!FindRow(c)) out.push_back("the catalogue has no row for " + c.name);
    for (std::string& p : Routes(c).Problems()) out.push_back(std::move(p));
  }
  return out;
}

}  // namespace tarvel::automation
