#include "bus_client/client_steps.h"

#include <QDBusArgument>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QLocale>
#include <QXmlStreamReader>

#include <cmath>
#include <limits>

namespace tarvel::tools {
namespace {

// Decimal, or hexadecimal after "0x" (a leading zero is not octal: "010" is ten).
qint64 ParseInteger(const QString& text, bool* ok) {
  QString t = text.trimmed();
  bool negative = false;
  if (t.startsWith('-')) {
    negative = true;
    t = t.mid(1);
  }
  if (t.startsWith('-') || t.startsWith('+')) {
    *ok = false;
    return 0;
  }
  const bool hex = t.startsWith("0x", Qt::CaseInsensitive);
  const qint64 v = (hex ? t.mid(2) : t).toLongLong(ok, hex ? 16 : 10);
  return negative ? -v : v;
}

bool IntegerFrom(const QString& text, qint64 lo, qint64 hi, qint64* n) {
  bool ok = false;
  const qint64 v = ParseInteger(text, &ok);
  if (!ok || v < lo || v > hi) return false;
  *n = v;
  return true;
}

bool BoolFrom(const QString& text, bool* b) {
  const QString t = text.trimmed().toLower();
  if (t == "true") {
    *b = true;
    return true;
  }
  if (t == "false") {
    *b = false;
    return true;
  }
  bool ok = false;
  const qint64 v = ParseInteger(t, &ok);
  if (!ok) return false;
  *b = v != 0;
  return true;
}

bool DoubleFrom(const QString& text, double* d) {
  bool ok = false;
  const double v = text.trimmed().toDouble(&ok);
  if (!ok || !std::isfinite(v)) return false;
  *d = v;
  return true;
}

// A variant's contents from the word alone, or from its type prefix.
bool VariantFromText(const QString& text, QVariant* out, QString* error) {
  static const QStringList prefixes{"s:", "i:", "n:", "q:", "u:", "d:", "b:"};
  for (const QString& p : prefixes) {
    if (text.startsWith(p)) {
      QVariant inner;
      if (!ArgumentFromText(text.mid(2), p.left(1), &inner, error)) return false;
      *out = QVariant::fromValue(QDBusVariant(inner));
      return true;
    }
  }
  qint64 n = 0;
  double d = 0;
  bool b = false;
  if (IntegerFrom(text, std::numeric_limits<qint32>::min(), std::numeric_limits<qint32>::max(),
                  &n)) {
    *out = QVariant::fromValue(QDBusVariant(QVariant::fromValue<qint32>(static_cast<qint32>(n))));
  } else if (IntegerFrom(text, std::numeric_limits<qint64>::min(),
                         std::numeric_limits<qint64>::max(), &n)) {
    *out = QVariant::fromValue(QDBusVariant(QVariant::fromValue<qint64>(n)));
  } else if (DoubleFrom(text, &d)) {
    *out = QVariant::fromValue(QDBusVariant(QVariant(d)));
  } else if ((text == "true" || text == "false") && BoolFrom(text, &b)) {
    *out = QVariant::fromValue(QDBusVariant(QVariant(b)));
  } else {
    *out = QVariant::fromValue(QDBusVariant(QVariant(text)));
  }
  return true;
}

QString FormatArgument(const QDBusArgument& arg);

QString FormatArgumentItems(QDBusArgument& a, QDBusArgument::ElementType type) {
  QStringList parts;
  switch (type) {
    case QDBusArgument::ArrayType:
      a.beginArray();
      while (!a.atEnd()) parts << FormatValue(a.asVariant());
      a.endArray();
      return "[" + parts.join(", ") + "]";
    case QDBusArgument::StructureType:
      a.beginStructure();
      while (!a.atEnd()) parts << FormatValue(a.asVariant());
      a.endStructure();
      return "(" + parts.join(", ") + ")";
    case QDBusArgument::MapType:
      a.beginMap();
      while (!a.atEnd()) {
        a.beginMapEntry();
        const QString key = FormatValue(a.asVariant());
        parts << key + ": " + FormatValue(a.asVariant());
        a.endMapEntry();
      }
      a.endMap();
      return "{" + parts.join(", ") + "}";
    default:
      return FormatValue(a.asVariant());
  }
}

QString FormatArgument(const QDBusArgument& arg) {
  QDBusArgument a(arg);  // demarshalling advances a copy; the caller's value stays as it was
  return FormatArgumentItems(a, a.currentType());
}

}  // namespace

std::optional<QStringList> SplitStep(const QString& line, QString* error) {
  QStringList words;
  QString word;
  bool inWord = false;
  bool quoted = false;
  for (qsizetype i = 0; i < line.size(); ++i) {
    const QChar c = line[i];
    if (quoted) {
      if (c == '\\' && i + 1 < line.size() && (line[i + 1] == '"' || line[i + 1] == '\\')) {
        word += line[++i];
      } else if (c == '"') {
        quoted = false;
      } else {
        word += c;
      }
    } else if (c.isSpace()) {
      if (inWord) words << word;
      word.clear();
      inWord = false;
    } else if (c == '"') {
      quoted = true;
      inWord = true;
    } else {
      if (!inWord && words.isEmpty() && c == '#') return QStringList{};
      word += c;
      inWord = true;
    }
  }
  if (quoted) {
    *error = "unterminated quote";
    return std::nullopt;
  }
  if (inWord) words << word;
  return words;
}

bool ArgumentFromText(const QString& text, const QString& signature, QVariant* out,
                      QString* error) {
  qint64 n = 0;
  double d = 0;
  bool b = false;
  auto integer = [&](qint64 lo, qint64 hi) {
    if (IntegerFrom(text, lo, hi, &n)) return true;
    *error = QString("\"%1\" is not an integer from %2 to %3").arg(text).arg(lo).arg(hi);
    return false;
  };
  if (signature == "n") {
    if (!integer(std::numeric_limits<qint16>::min(), std::numeric_limits<qint16>::max()))
      return false;
    *out = QVariant::fromValue<qint16>(static_cast<qint16>(n));
  } else if (signature == "q") {
    if (!integer(0, std::numeric_limits<quint16>::max())) return false;
    *out = QVariant::fromValue<quint16>(static_cast<quint16>(n));
  } else if (signature == "y") {
    if (!integer(0, 255)) return false;
    *out = QVariant::fromValue<uchar>(static_cast<uchar>(n));
  } else if (signature == "i") {
    if (!integer(std::numeric_limits<qint32>::min(), std::numeric_limits<qint32>::max()))
      return false;
    *out = QVariant::fromValue<qint32>(static_cast<qint32>(n));
  } else if (signature == "u") {
    if (!integer(0, std::numeric_limits<quint32>::max())) return false;
    *out = QVariant::fromValue<quint32>(static_cast<quint32>(n));
  } else if (signature == "x") {
    if (!integer(std::numeric_limits<qint64>::min(), std::numeric_limits<qint64>::max()))
      return false;
    *out = QVariant::fromValue<qint64>(n);
  } else if (signature == "t") {
    const QString t = text.trimmed();
    const bool hex = t.startsWith("0x", Qt::CaseInsensitive);
    bool ok = false;
    const quint64 u = (hex ? t.mid(2) : t).toULongLong(&ok, hex ? 16 : 10);
    if (!ok || t.startsWith('-') || t.startsWith('+')) {
      *error = QString("\"%1\" is not an unsigned 64-bit integer").arg(text);
      return false;
    }
    *out = QVariant::fromValue<quint64>(u);
  } else if (signature == "d") {
    if (!DoubleFrom(text, &d)) {
      *error = QString("\"%1\" is not a number").arg(text);
      return false;
    }
    *out = QVariant(d);
  } else if (signature == "b") {
    if (!BoolFrom(text, &b)) {
      *error = QString("\"%1\" is not true, false or an integer").arg(text);
      return false;
    }
    *out = QVariant(b);
  } else if (signature == "s") {
    *out = QVariant(text);
  } else if (signature == "o") {
    const QDBusObjectPath path(text);
    if (path.path().isEmpty()) {
      *error = QString("\"%1\" is not an object path").arg(text);
      return false;
    }
    *out = QVariant::fromValue(path);
  } else if (signature == "v") {
    return VariantFromText(text, out, error);
  } else {
    *error = QString("arguments of type %1 cannot be written as words").arg(signature);
    return false;
  }
  return true;
}

std::optional<std::vector<TMethodSig>> ParseIntrospection(const QString& xml, QString* error) {
  std::vector<TMethodSig> methods;
  QXmlStreamReader r(xml);
  QString iface;
  TMethodSig* current = nullptr;
  while (!r.atEnd()) {
    r.readNext();
    if (r.isStartElement()) {
      const auto name = r.name();
      if (name == u"interface") {
        iface = r.attributes().value("name").toString();
      } else if (name == u"method") {
        methods.push_back({iface, r.attributes().value("name").toString(), {}});
        current = &methods.back();
      } else if (name == u"arg" && current != nullptr) {
        const auto dir = r.attributes().value("direction");
        if (dir.isEmpty() || dir == u"in") {
          current->inTypes << r.attributes().value("type").toString();
        }
      }
    } else if (r.isEndElement()) {
      if (r.name() == u"method") current = nullptr;
      if (r.name() == u"interface") iface.clear();
    }
  }
  if (r.hasError()) {
    *error = "bad introspection data: " + r.errorString();
    return std::nullopt;
  }
  return methods;
}

std::optional<TMethodSig> FindMethod(const std::vector<TMethodSig>& methods, const QString& member,
                                     QString* error) {
  const qsizetype dot = member.lastIndexOf('.');
  const QString iface = dot < 0 ? QString() : member.left(dot);
  const QString name = dot < 0 ? member : member.mid(dot + 1);
  std::vector<const TMethodSig*> found;
  for (const TMethodSig& m : methods) {
    if (m.name == name && (iface.isEmpty() || m.interface == iface)) found.push_back(&m);
  }
  if (found.size() == 1) return *found.front();
  if (found.empty()) {
    *error = "no member " + member;
  } else {
    QStringList ifaces;
    for (const TMethodSig* m : found) ifaces << m->interface;
    *error = QString("%1 is declared by %2; write Interface.%1").arg(name, ifaces.join(" and "));
  }
  return std::nullopt;
}

QString FormatValue(const QVariant& value) {
  const QMetaType type = value.metaType();
  if (type == QMetaType::fromType<QDBusVariant>()) {
    return FormatValue(value.value<QDBusVariant>().variant());
  }
  if (type == QMetaType::fromType<QDBusObjectPath>()) return value.value<QDBusObjectPath>().path();
  if (type == QMetaType::fromType<QDBusArgument>()) {
    return FormatArgument(value.value<QDBusArgument>());
  }
  switch (type.id()) {
    case QMetaType::Bool:
      return value.toBool() ? "true" : "false";
    case QMetaType::Double:
      return QString::number(value.toDouble(), 'g', QLocale::FloatingPointShortest);
    case QMetaType::QVariantList: {
      QStringList parts;
      for (const QVariant& v : value.toList()) parts << FormatValue(v);
      return "[" + parts.join(", ") + "]";
    }
    case QMetaType::QStringList:
      return "[" + value.toStringList().join(", ") + "]";
    default:
      return value.toString();
  }
}

QString QuoteWord(const QString& word) {
  bool plain = !word.isEmpty();
  for (const QChar c : word) {
    if (c.isSpace() || c == '"' || c == '\\') plain = false;
  }
  if (plain) return word;
  QString q = word;
  q.replace("\\", "\\\\").replace("\"", "\\\"");
  return "\"" + q + "\"";
}

}  // namespace tarvel::tools
