#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "base/byte_reader.h"
#include "base/byte_writer.h"
#include "base/code_page.h"
#include "base/decimal.h"

namespace tarvel::base {
namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(ByteReader, TruncatedFieldsAreNotReadAndKeepTheirValue) {
  const Bytes data = ByteWriter().i32be(-2).u16be(0xBEEF).u8(7).take();
  for (std::size_t len = 0; len <= data.size(); ++len) {
    SCOPED_TRACE(len);
    ByteReader r(std::span<const std::uint8_t>(data).first(len));
    std::int32_t a = 111;
    std::uint16_t b = 222;
    std::uint8_t c = 33;
    // A decoder reads field after field and stops at the first that is not wholly there.
    const bool all = r.readI32be(&a) && r.readU16be(&b) && r.readU8(&c);
    EXPECT_EQ(all, len == data.size());
    EXPECT_EQ(a, len >= 4 ? -2 : 111);
    EXPECT_EQ(b, len >= 6 ? 0xBEEF : 222);
    EXPECT_EQ(c, len >= 7 ? 7 : 33);
    // The failed read did not move the cursor.
    EXPECT_EQ(r.position(), len >= 7 ? 7u : len >= 6 ? 6u : len >= 4 ? 4u : 0u);
  }
}

TEST(ByteReader, StringsEndAtTheirTerminatorOrTheEndOfThePayload) {
  struct Case {
    const char* name;
    Bytes data;
    std::vector<std::string> strings;
  };
  const Case cases[] = {
      {"two strings", {'A', 'B', 0, 'C', 0}, {"AB", "C"}},
      {"no terminator", {'A', 'B', 'C'}, {"ABC"}},
      {"empty string", {0, 'X', 0}, {"", "X"}},
      {"nothing", {}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ByteReader r(c.data);
    std::vector<std::string> got;
    std::string s;
    while (r.readCString(&s)) got.push_back(s);
    EXPECT_EQ(got, c.strings);
    EXPECT_TRUE(r.atEnd());
  }
  const Bytes field = {'N', 'A', 'M', 'E', 0, 'z', 'z', 'z', 1, 2};
  ByteReader r(field);
  std::string s;
  ASSERT_TRUE(r.readFixedString(8, &s));
  EXPECT_EQ(s, "NAME");
  EXPECT_EQ(r.position(), 8u);
  EXPECT_FALSE(r.readFixedString(3, &s));
  EXPECT_EQ(s, "NAME");
}

TEST(ByteWriter, RealsTravelMostSignificantByteFirst) {
  EXPECT_EQ(ByteWriter().f64be(1.0).take(), (Bytes{0x3F, 0xF0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(ByteWriter().f32be(1.0f).take(), (Bytes{0x3F, 0x80, 0, 0}));
  EXPECT_EQ(ByteWriter().boolean(true).boolean(false).take(), (Bytes{0, 0, 0, 1, 0, 0, 0, 0}));
  double back = 0;
  const Bytes b = ByteWriter().f64be(-2.5).take();
  ASSERT_TRUE(ByteReader(b).readF64be(&back));
  EXPECT_EQ(back, -2.5);
}

TEST(CodePage, JapaneseRoundTripsAndBadInputIsReplaced) {
  const std::string utf8 = "\xE7\x9C\x9F\xE7\xA9\xBA";  // "vacuum" in Japanese
  const std::string sjis = Utf8ToCp932(utf8);
  EXPECT_EQ(sjis, "\x90\x5E\x8B\xF3");
  EXPECT_EQ(Cp932ToUtf8(sjis), utf8);
  EXPECT_EQ(Utf8ToCp932("AB"), "AB");
  // A character CP932 lacks becomes one '?'; a broken byte sequence never throws.
  EXPECT_EQ(Utf8ToCp932("a\xF0\x9F\x98\x80"
                        "b"),
            "a?b");
  EXPECT_EQ(Cp932ToUtf8("A\x81"), "A\xEF\xBF\xBD");
}

TEST(Decimal, WholeTextsOnlyAndOnlyInRange) {
  const struct {
    const char* text;
    std::optional<double> real;
    std::optional<std::int64_t> integer;
  } cases[] = {
      {"1.5", 1.5, std::nullopt},
      {"-2e3", -2000.0, std::nullopt},
      {"+7", 7.0, 7},
      {".5", 0.5, std::nullopt},
      {"42", 42.0, 42},
      {"+-1", std::nullopt, std::nullopt},
      {"", std::nullopt, std::nullopt},
      {"1,5", std::nullopt, std::nullopt},
      {"1.5x", std::nullopt, std::nullopt},
      {"0x10", std::nullopt, std::nullopt},
      {"1e999", std::nullopt, std::nullopt},
      {"9223372036854775808", 9223372036854775808.0, std::nullopt},
      {"-9223372036854775808", -9223372036854775808.0, INT64_MIN},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(ParseReal(c.text), c.real);
    EXPECT_EQ(ParseInteger(c.text), c.integer);
  }
  EXPECT_EQ(LeadingInteger("  -12abc"), -12);
  EXPECT_EQ(LeadingInteger("abc"), 0);
  EXPECT_EQ(LeadingInteger("99999999999999999999"), INT64_MAX);
  EXPECT_EQ(FormatReal(0.46), "0.46");
  EXPECT_EQ(ParseReal(FormatReal(0.1 + 0.2)), 0.1 + 0.2);
}

}  // namespace
}  // namespace tarvel::base
