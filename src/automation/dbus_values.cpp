#include "automation/dbus_values.h"

#include <QDBusMetaType>
#include <QDBusVariant>

#include <cmath>
#include <cstdint>
#include <limits>

namespace tarvel::automation {

namespace {

// The contents of a VARIANT as D-Bus can carry them; nullopt for a type it cannot.
std::optional<QVariant> VariantContent(const QVariant& v) {
  if (!v.isValid()) return QVariant::fromValue<qint32>(0);  // VT_EMPTY
  const QMetaType type = v.metaType();
  if (type == QMetaType::fromType<QDBusVariant>()) {
    return VariantContent(v.value<QDBusVariant>().variant());
  }
  if (type == QMetaType::fromType<float>()) return QVariant(static_cast<double>(v.toFloat()));
  if (type == QMetaType::fromType<QVariantList>()) {
    // An array of VARIANTs ("av"): D-Bus wraps each element in a variant of its own; each is
    // checked the same way.
    QVariantList out;
    for (const QVariant& e : v.toList()) {
      std::optional<QVariant> c = VariantContent(e);
      if (!c) return std::nullopt;
      out << *c;
    }
    return QVariant::fromValue(out);
  }
  if (!QDBusMetaType::typeToSignature(type)) return std::nullopt;
  return v;
}

}  // namespace

bool CoerceArgument(TVarType type, const QVariant& raw, QVariant* out) {
  QVariant v = raw;
  if (v.metaType() == QMetaType::fromType<QDBusVariant>()) v = v.value<QDBusVariant>().variant();
  const auto id = v.metaType().id();
  const bool isInt = id == QMetaType::Short || id == QMetaType::UShort || id == QMetaType::Int ||
                     id == QMetaType::UInt || id == QMetaType::LongLong ||
                     id == QMetaType::ULongLong || id == QMetaType::UChar;
  const bool isBool = id == QMetaType::Bool;
  const bool isReal = id == QMetaType::Double;
  auto integer = [&](std::int64_t lo, std::int64_t hi, std::int64_t* n) {
    if (isInt || isBool) {
      if (id == QMetaType::ULongLong && v.toULongLong() > static_cast<quint64>(hi)) return false;
      *n = isBool ? (v.toBool() ? -1 : 0) : v.toLongLong();
    } else if (isReal) {
      const double d = v.toDouble();
      if (!std::isfinite(d) || d < static_cast<double>(lo) || d > static_cast<double>(hi)) {
        return false;
      }
      *n = std::llround(d);
    } else {
      return false;
    }
    return *n >= lo && *n <= hi;
  };
  std::int64_t n = 0;
  switch (type) {
    case TVarType::kI2:
      if (!integer(std::numeric_limits<qint16>::min(), std::numeric_limits<qint16>::max(), &n))
        return false;
      *out = QVariant::fromValue<qint16>(static_cast<qint16>(n));
      return true;
    case TVarType::kI4:
      if (!integer(std::numeric_limits<qint32>::min(), std::numeric_limits<qint32>::max(), &n))
        return false;
      *out = QVariant::fromValue<qint32>(static_cast<qint32>(n));
      return true;
    case TVarType::kUI2:
      if (!integer(0, std::numeric_limits<quint16>::max(), &n)) return false;
      *out = QVariant::fromValue<quint16>(static_cast<quint16>(n));
      return true;
    case TVarType::kR4: {
      if (!isInt && !isReal) return false;
      // D-Bus carries R4 as a double; the member gets what a float holds. A finite value past
      // float's range would turn infinite, so it does not fit the type.
      const double d = v.toDouble();
      if (std::isfinite(d) && std::fabs(d) > std::numeric_limits<float>::max()) return false;
      *out = QVariant::fromValue<float>(static_cast<float>(d));
      return true;
    }
    case TVarType::kR8:
      if (!isInt && !isReal) return false;
      *out = QVariant(v.toDouble());
      return true;
    case TVarType::kBSTR:
      if (id != QMetaType::QString) return false;
      *out = v;
      return true;
    case TVarType::kBOOL:
      if (!isBool && !isInt) return false;
      *out = QVariant(isBool ? v.toBool() : v.toLongLong() != 0);
      return true;
    case TVarType::kVARIANT:
      *out = v;
      return true;
  }
  return false;
}

std::optional<QVariant> OutputToDBus(TVarType type, const QVariant& v) {
  switch (type) {
    case TVarType::kI2:
      return QVariant::fromValue<qint16>(static_cast<qint16>(v.toInt()));
    case TVarType::kI4:
      return QVariant::fromValue<qint32>(v.toInt());
    case TVarType::kUI2:
      return QVariant::fromValue<quint16>(static_cast<quint16>(v.toUInt()));
    case TVarType::kR4:
      return QVariant(static_cast<double>(static_cast<float>(v.toDouble())));
    case TVarType::kR8:
      return QVariant(v.toDouble());
    case TVarType::kBSTR:
      return QVariant(v.toString());
    case TVarType::kBOOL:
      return QVariant(v.toBool());
    case TVarType::kVARIANT: {
      std::optional<QVariant> content = VariantContent(v);
      if (!content) return std::nullopt;
      return QVariant::fromValue(QDBusVariant(*content));
    }
  }
  return std::nullopt;
}

}  // namespace tarvel::automation
