// TObjectCatalogue: the object class behind each coclass of the type library.
//
// One row per coclass: its built class (with the member routes that class filled), or the
// whole-coclass not-built mark. Make() is the class factory's one way to create an object;
// Routes() lets a test check that every member of every coclass has a handler or a not-built
// mark. A coclass the catalogue does not list still gets an object whose every member answers
// E_NOTIMPL, and Problems() says it is missing. Main thread only.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "automation/member_routes.h"
#include "automation/type_library.h"

namespace tarvel::automation {

class TAutomationObject;
struct TAutomationContext;

class TObjectCatalogue {
 public:
  static std::unique_ptr<TAutomationObject> Make(const TCoclassInfo& coclass,
                                                 TAutomationContext& context);
  // The routes objects of `coclass` answer with; they live for the process.
  static const TMemberRoutes& Routes(const TCoclassInfo& coclass);
  // Everything wrong with the catalogue and the routes of every coclass; empty when sound.
  static std::vector<std::string> Problems();
};

}  // namespace tarvel::automation
