// tarvel-client's words: what a typed word becomes on the wire decides whether the server sees
// the call the user meant, so conversions are checked case by case, refusals included.
#include <QDBusObjectPath>
#include <QDBusVariant>

#include <gtest/gtest.h>

#include "bus_client/client_steps.h"

namespace tarvel::tools {
namespace {

TEST(ClientWords, StepsSplitAtBlanksWithQuotesAndComments) {
  struct Case {
    const char* line;
    QStringList words;
  } cases[] = {
      {"call put_IPAdrs 127.0.0.1", {"call", "put_IPAdrs", "127.0.0.1"}},
      {"  window   \"Client Main\"  ", {"window", "Client Main"}},
      {"call SetMessageHandle \"\"", {"call", "SetMessageHandle", ""}},
      {R"(call x "a \"q\" \\ b")", {"call", "x", R"(a "q" \ b)"}},
      {"call x ab\"c d\"e", {"call", "x", "abc de"}},
      {"# a comment", {}},
      {"", {}},
      {"call x #notacomment", {"call", "x", "#notacomment"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    QString error;
    const auto words = SplitStep(c.line, &error);
    ASSERT_TRUE(words.has_value()) << error.toStdString();
    EXPECT_EQ(*words, c.words);
  }
  QString error;
  EXPECT_FALSE(SplitStep("window \"Client", &error).has_value());
  EXPECT_EQ(error, "unterminated quote");
}

TEST(ClientWords, WordsBecomeTheArgumentsTypeOrAreRefused) {
  struct Case {
    const char* text;
    const char* signature;
    QVariant want;  // invalid: refused
  } cases[] = {
      {"-32768", "n", QVariant::fromValue<qint16>(-32768)},
      {"32768", "n", {}},
      {"65535", "q", QVariant::fromValue<quint16>(65535)},
      {"-1", "q", {}},
      {"010", "i", QVariant::fromValue<qint32>(10)},  // decimal, not octal
      {"0x10", "i", QVariant::fromValue<qint32>(16)},
      {"2147483648", "i", {}},
      {"12abc", "i", {}},
      {"", "i", {}},
      {"1.5", "i", {}},
      {"4294967295", "u", QVariant::fromValue<quint32>(4294967295u)},
      {"-1", "t", {}},
      {"+-1", "x", {}},
      {"2.5e3", "d", QVariant(2500.0)},
      {"nan", "d", {}},
      {"inf", "d", {}},
      {"true", "b", QVariant(true)},
      {"FALSE", "b", QVariant(false)},
      {"-1", "b", QVariant(true)},
      {"0", "b", QVariant(false)},
      {"yes", "b", {}},
      {"12 ab", "s", QVariant(QString("12 ab"))},
      {"/ProjectTarvel/SockSystem/1", "o",
       QVariant::fromValue(QDBusObjectPath("/ProjectTarvel/SockSystem/1"))},
      {"not/a path", "o", {}},
      {"x", "ai", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.text) + " as " + c.signature);
    QVariant out;
    QString error;
    const bool ok = ArgumentFromText(c.text, c.signature, &out, &error);
    if (!c.want.isValid()) {
      EXPECT_FALSE(ok);
      EXPECT_FALSE(error.isEmpty());
      continue;
    }
    ASSERT_TRUE(ok) << error.toStdString();
    EXPECT_EQ(out.metaType(), c.want.metaType());
    EXPECT_EQ(out, c.want);
  }
}

TEST(ClientWords, VariantsTakeTheWordsFormOrItsPrefix) {
  struct Case {
    const char* text;
    QVariant want;
  } cases[] = {
      {"7", QVariant::fromValue<qint32>(7)},
      {"4294967296", QVariant::fromValue<qint64>(4294967296)},
      {"0.25", QVariant(0.25)},
      {"true", QVariant(true)},
      {"abc", QVariant(QString("abc"))},
      {"s:7", QVariant(QString("7"))},
      {"n:7", QVariant::fromValue<qint16>(7)},
      {"d:7", QVariant(7.0)},
      {"b:1", QVariant(true)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    QVariant out;
    QString error;
    ASSERT_TRUE(ArgumentFromText(c.text, "v", &out, &error)) << error.toStdString();
    ASSERT_EQ(out.metaType(), QMetaType::fromType<QDBusVariant>());
    const QVariant inner = out.value<QDBusVariant>().variant();
    EXPECT_EQ(inner.metaType(), c.want.metaType());
    EXPECT_EQ(inner, c.want);
  }
  QVariant out;
  QString error;
  EXPECT_FALSE(ArgumentFromText("n:70000", "v", &out, &error));
}

const char kXml[] = R"(<node>
  <interface name="ProjectTarvel.ISockSystem">
    <method name="put_IPAdrs"><arg name="v" type="s" direction="in"/></method>
    <method name="get_SysName"><arg name="v" type="s" direction="out"/></method>
    <method name="CmdCycleRequest"><arg type="i" direction="in"/><arg type="b"/></method>
    <signal name="OnMyEvent"><arg type="i"/></signal>
  </interface>
  <interface name="ProjectTarvel.Dispatch">
    <method name="Invoke"><arg type="i" direction="in"/><arg type="s" direction="in"/>
      <arg type="av" direction="in"/><arg type="v" direction="out"/></method>
    <method name="get_SysName"/>
  </interface>
</node>)";

TEST(ClientWords, MembersAreFoundByNameOrByInterfaceAndAmbiguityIsNamed) {
  QString error;
  const auto methods = ParseIntrospection(kXml, &error);
  ASSERT_TRUE(methods.has_value()) << error.toStdString();

  const auto cycle = FindMethod(*methods, "CmdCycleRequest", &error);
  ASSERT_TRUE(cycle.has_value());
  EXPECT_EQ(cycle->interface, "ProjectTarvel.ISockSystem");
  EXPECT_EQ(cycle->inTypes, (QStringList{"i", "b"}));  // no direction means in
  const auto invoke = FindMethod(*methods, "Invoke", &error);
  ASSERT_TRUE(invoke.has_value());
  EXPECT_EQ(invoke->inTypes, (QStringList{"i", "s", "av"}));
  EXPECT_FALSE(FindMethod(*methods, "OnMyEvent", &error).has_value());  // a signal

  EXPECT_FALSE(FindMethod(*methods, "get_SysName", &error).has_value());
  EXPECT_TRUE(error.contains("ProjectTarvel.ISockSystem and ProjectTarvel.Dispatch"))
      << error.toStdString();
  const auto named = FindMethod(*methods, "ProjectTarvel.ISockSystem.get_SysName", &error);
  ASSERT_TRUE(named.has_value());
  EXPECT_TRUE(named->inTypes.isEmpty());

  EXPECT_FALSE(ParseIntrospection("<node><interface name=\"x\"></node>", &error).has_value());
  EXPECT_TRUE(error.startsWith("bad introspection data"));
}

TEST(ClientWords, RepliesPrintAsTheirValues) {
  struct Case {
    QVariant value;
    const char* text;
  } cases[] = {
      {QVariant(true), "true"},
      {QVariant::fromValue(QDBusVariant(QVariant(QString("ORVO-SIM")))), "ORVO-SIM"},
      {QVariant::fromValue(QDBusObjectPath("/ProjectTarvel/SockSystem/2")),
       "/ProjectTarvel/SockSystem/2"},
      {QVariant(0.1), "0.1"},
      {QVariant::fromValue<qint16>(-5), "-5"},
      {QVariant(QVariantList{1, QString("a"), false}), "[1, a, false]"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(FormatValue(c.value), c.text);
  }
  EXPECT_EQ(QuoteWord("plain"), "plain");
  EXPECT_EQ(QuoteWord(""), "\"\"");
  EXPECT_EQ(QuoteWord(R"(a "b" \c)"), R"("a \"b\" \\c")");
  // What QuoteWord writes, SplitStep reads back.
  QString error;
  const QString odd = R"(x "y" \ z)";
  EXPECT_EQ(SplitStep("w " + QuoteWord(odd), &error), (QStringList{"w", odd}));
}

}  // namespace
}  // namespace tarvel::tools
