// The values of automation arguments on D-Bus, both ways.
//
// Inputs: a D-Bus value (of the member's signature, or any variant when bound late through
// Invoke) becomes the canonical Qt value of its automation type: qint16 (I2), qint32 (I4),
// quint16 (UI2), float (R4), double (R8), QString (BSTR), bool (BOOL), the contained value
// (VARIANT). COM's coercions are mimicked for the cases clients use: numbers between numeric
// types, integers as booleans. A value outside the target type is refused.
//
// Outputs: a canonical value becomes the D-Bus value of its argument type. A VARIANT the member
// never set (VT_EMPTY) goes out as the I4 0, the value an empty VARIANT converts to, so the
// reply stays a valid message; a VARIANT holding something D-Bus cannot carry has no D-Bus form.
#pragma once

#include <QVariant>

#include <optional>

#include "automation/type_library.h"

namespace tarvel::automation {

// False (and `*out` untouched) when `raw` cannot be a value of `type`.
bool CoerceArgument(TVarType type, const QVariant& raw, QVariant* out);

// The D-Bus value of an output of `type` (a VARIANT as QDBusVariant); nullopt when it has none.
std::optional<QVariant> OutputToDBus(TVarType type, const QVariant& value);

}  // namespace tarvel::automation
