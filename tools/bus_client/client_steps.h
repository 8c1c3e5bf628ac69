// The plain part of tarvel-client: cutting a step into words, turning a word into the D-Bus
// type a member's argument has, reading a member list out of introspection XML, and printing
// replies. Nothing here talks to the bus.
#pragma once

#include <QString>
#include <QStringList>
#include <QVariant>

#include <optional>
#include <vector>

namespace tarvel::tools {

// One method of an object, as its introspection data declares it.
struct TMethodSig {
  QString interface;
  QString name;
  QStringList inTypes;  // D-Bus signatures of the in-arguments, in order
};

// Splits a step into words at blanks. A word may be quoted with '"' to hold blanks ("" is an
// empty word); inside quotes \" and \\ stand for " and \. Returns nothing and sets *error on
// an unterminated quote. A line whose first word starts with '#' is a comment (no words).
std::optional<QStringList> SplitStep(const QString& line, QString* error);

// The value of `text` as D-Bus type `signature` ("n", "q", "i", "u", "x", "t", "y", "d", "b",
// "s", "o" or "v"). Numbers must convert whole and fit the type; booleans are true/false or
// an integer (non-zero is true). For "v" the word's own form decides: an integer gives i (x
// when it does not fit), a decimal d, true/false b, anything else s; a prefix "s:", "i:", "n:",
// "q:", "u:", "d:" or "b:" names the type. Returns false and sets *error otherwise.
bool ArgumentFromText(const QString& text, const QString& signature, QVariant* out, QString* error);

// The methods that introspection XML declares, or nothing with *error on malformed XML.
std::optional<std::vector<TMethodSig>> ParseIntrospection(const QString& xml, QString* error);

// Finds `member` ("Name" or "Interface.Name") among `methods`. A bare name declared by more
// than one interface is ambiguous and not found; *error says which interfaces declare it.
std::optional<TMethodSig> FindMethod(const std::vector<TMethodSig>& methods, const QString& member,
                                     QString* error);

// A reply value as text: variants unwrapped, booleans as true/false, object paths as paths,
// arrays as [a, b], structures as (a, b). Strings come out as they are.
QString FormatValue(const QVariant& value);

// A word as it must be written to read back as the same word: quoted when it is empty or holds
// blanks, quotes or backslashes.
QString QuoteWord(const QString& word);

}  // namespace tarvel::tools
