#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "zorp/base/TextEncoding.h"

using namespace Zorp::Base;

namespace {

using Items = std::vector<std::string>;

std::string Bytes(std::initializer_list<int> bytes) {
  std::string result;
  for (int b : bytes) result += static_cast<char>(b);
  return result;
}

}  // namespace

// ---- UTF-8 validation ----

TEST(Utf8Validation, AcceptsWellFormedSequences) {
  EXPECT_TRUE(IsValidUtf8(""));
  EXPECT_TRUE(IsValidUtf8("plain"));
  EXPECT_TRUE(IsValidUtf8("caf\xC3\xA9"));           // U+00E9
  EXPECT_TRUE(IsValidUtf8("\xE2\x82\xAC"));          // U+20AC
  EXPECT_TRUE(IsValidUtf8("\xF0\x9F\x98\x80"));      // U+1F600
  EXPECT_TRUE(IsValidUtf8("\xF4\x8F\xBF\xBF"));      // U+10FFFF
  EXPECT_TRUE(IsValidUtf8(std::string("a\0b", 3)));  // NUL is a character
}

TEST(Utf8Validation, RejectsOverlongsSurrogatesAndBrokenSequences) {
  for (const std::string& bad :
       {Bytes({0xC0, 0x80}), Bytes({0xC1, 0xBF}), Bytes({0xE0, 0x80, 0x80}), Bytes({0xE0, 0x9F, 0xBF}),
        Bytes({0xF0, 0x8F, 0xBF, 0xBF}), Bytes({0xED, 0xA0, 0x80}), Bytes({0xED, 0xBF, 0xBF}),
        Bytes({0xF4, 0x90, 0x80, 0x80}), Bytes({0xF5, 0x80, 0x80, 0x80}), Bytes({0xFF}), Bytes({0x80}),
        Bytes({'a', 0xC3}), Bytes({0xE2, 0x82}), Bytes({0xC3, 'a'}), Bytes({'c', 'a', 'f', 0xE9})}) {
    EXPECT_FALSE(IsValidUtf8(bad)) << testing::PrintToString(bad);
  }
  EXPECT_TRUE(IsAscii("abc\x7F"));
  EXPECT_FALSE(IsAscii("ab\x80"));
}

// ---- 8-bit text ----

TEST(Windows1252Decoding, MapsTheHighControlRangeThroughTheTable) {
  EXPECT_EQ(Windows1252ToUtf8(Bytes({0x80})), "\xE2\x82\xAC");            // euro sign
  EXPECT_EQ(Windows1252ToUtf8(Bytes({0x9F})), "\xC5\xB8");                // Y with diaeresis
  EXPECT_EQ(Windows1252ToUtf8(Bytes({0x85})), "\xE2\x80\xA6");            // ellipsis
  EXPECT_EQ(Windows1252ToUtf8(Bytes({0x81, 0x8D})), "\xC2\x81\xC2\x8D");  // unassigned keep their code
  EXPECT_EQ(Windows1252ToUtf8(Bytes({0xA0, 0xE9, 0xFF})), "\xC2\xA0\xC3\xA9\xC3\xBF");
  EXPECT_EQ(Windows1252ToUtf8("ascii"), "ascii");
}

TEST(TagTextDecoding, KeepsUtf8AndDecodesOtherBytesAsWindows1252) {
  const std::string utf8 = "caf\xC3\xA9";
  EXPECT_EQ(DecodeTagText(reinterpret_cast<const std::uint8_t*>(utf8.data()), utf8.size()), utf8);
  const std::uint8_t latin[] = {'c', 'a', 'f', 0xE9};
  EXPECT_EQ(DecodeTagText(latin, sizeof latin), "caf\xC3\xA9");
  const std::uint8_t overlong[] = {0xC0, 0xAF};
  EXPECT_EQ(DecodeTagText(overlong, sizeof overlong), "\xC3\x80\xC2\xAF");
  EXPECT_EQ(DecodeTagText(nullptr, 0), "");
  EXPECT_TRUE(IsValidUtf8(DecodeTagText(overlong, sizeof overlong)));
}

// ---- UTF-16 ----

TEST(Utf16Conversion, UsesSurrogatePairsOutsideTheBasicPlane) {
  EXPECT_EQ(Utf8ToUtf16("A\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80"), std::u16string(u"A\u00E9\u20AC\U0001F600"));
  EXPECT_EQ(Utf8ToUtf16("\xF0\x9F\x98\x80").size(), 2u);
  EXPECT_EQ(Utf16ToUtf8(u"A\u00E9\u20AC\U0001F600"), "A\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80");
}

TEST(Utf16Conversion, ReplacesUnpairedSurrogates) {
  EXPECT_EQ(Utf16ToUtf8(std::u16string{u'a', char16_t(0xD800)}), "a\xEF\xBF\xBD");
  EXPECT_EQ(Utf16ToUtf8(std::u16string{char16_t(0xDC00), u'b'}),
            "\xEF\xBF\xBD"
            "b");
  EXPECT_EQ(Utf16ToUtf8(std::u16string{char16_t(0xD800), char16_t(0xD800), char16_t(0xDC00)}),
            "\xEF\xBF\xBD\xF0\x90\x80\x80");
}

TEST(Utf16Conversion, DecodesInvalidUtf8AsWindows1252) {
  EXPECT_EQ(Utf8ToUtf16(Bytes({'c', 0xE9, 0x80})), std::u16string(u"c\u00E9\u20AC"));
}

TEST(Utf16Conversion, ReadsAndWritesLittleEndianBytes) {
  EXPECT_EQ(Utf8ToUtf16LE("Ab"), (std::vector<std::uint8_t>{0x41, 0x00, 0x62, 0x00}));
  EXPECT_EQ(Utf8ToUtf16LE("\xE2\x82\xAC"), (std::vector<std::uint8_t>{0xAC, 0x20}));
  EXPECT_TRUE(Utf8ToUtf16LE("").empty());
  const std::uint8_t bytes[] = {0x41, 0x00, 0x3D, 0xD8, 0x00, 0xDE, 0x00, 0x00};
  EXPECT_EQ(Utf16LEToUtf8(bytes, 3), "A\xF0\x9F\x98\x80");
  EXPECT_EQ(Utf16LEToUtf8(bytes, 4), std::string("A\xF0\x9F\x98\x80\0", 6));
  EXPECT_EQ(Utf16LEToUtf8(bytes, 0), "");
}

// ---- Code points ----

TEST(Utf8CodePoints, CountAndCutWholeCharacters) {
  const std::string text = "h\xC3\xA9llo\xF0\x9F\x98\x80!";
  EXPECT_EQ(Utf8Length(text), 7u);
  EXPECT_EQ(Utf8Length(""), 0u);
  EXPECT_EQ(Utf8Left(text, 2), "h\xC3\xA9");
  EXPECT_EQ(Utf8Left(text, 6), "h\xC3\xA9llo\xF0\x9F\x98\x80");
  EXPECT_EQ(Utf8Left(text, 0), "");
  EXPECT_EQ(Utf8Left(text, 100), text);
}

// ---- ASCII helpers ----

TEST(AsciiText, ChangesCaseOfAsciiLettersOnly) {
  EXPECT_EQ(UpperCase("Canon \xC3\xA9z"), "CANON \xC3\xA9Z");
  EXPECT_EQ(LowerCase("NIKON CORP"), "nikon corp");
  EXPECT_TRUE(SameText("TCanonMakerNote", "tcanonmakernote"));
  EXPECT_FALSE(SameText("abc", "abd"));
  EXPECT_FALSE(SameText("abc", "ab"));
  EXPECT_LT(CompareText("apple", "Banana"), 0);
  EXPECT_GT(CompareText("b", "A"), 0);
  EXPECT_LT(CompareText("ab", "ABC"), 0);
  EXPECT_EQ(CompareText("Section", "SECTION"), 0);
}

TEST(AsciiText, MapsSingleCharactersOfTheAsciiRangeOnly) {
  for (const auto& [c, upper, lower, digit] : {std::tuple{'a', 'A', 'a', false},
                                               {'Z', 'Z', 'z', false},
                                               {'7', '7', '7', true},
                                               {'@', '@', '@', false},
                                               {'\xE9', '\xE9', '\xE9', false}}) {
    EXPECT_EQ(UpperAscii(c), upper) << c;
    EXPECT_EQ(LowerAscii(c), lower) << c;
    EXPECT_EQ(IsAsciiDigit(c), digit) << c;
  }
}

TEST(AsciiText, TrimsBlanksAndControlCharacters) {
  EXPECT_EQ(Trim(" \t\r\n text \x01"), "text");
  EXPECT_EQ(Trim(std::string(" \0a\0 ", 5)), "a");
  EXPECT_EQ(TrimLeft("  a b  "), "a b  ");
  EXPECT_EQ(TrimRight("  a b  "), "  a b");
  EXPECT_EQ(Trim("   "), "");
  EXPECT_EQ(Trim("\xC2\xA0x\xC2\xA0"), "\xC2\xA0x\xC2\xA0");  // non-ASCII bytes are not blanks
}

// ---- Comma text ----

TEST(CommaText, SplitsAtCommasAndUnquotedBlanks) {
  EXPECT_EQ(SplitCommaText(""), Items{});
  EXPECT_EQ(SplitCommaText("   "), Items{});
  EXPECT_EQ(SplitCommaText("1,2,3/2"), (Items{"1", "2", "3/2"}));
  EXPECT_EQ(SplitCommaText("1 2\t3"), (Items{"1", "2", "3"}));
  EXPECT_EQ(SplitCommaText(" 1 , 2 "), (Items{"1", "2"}));
  EXPECT_EQ(SplitCommaText("a,,b"), (Items{"a", "", "b"}));
  EXPECT_EQ(SplitCommaText(",a"), (Items{"", "a"}));
  EXPECT_EQ(SplitCommaText("a,"), (Items{"a", ""}));
  EXPECT_EQ(SplitCommaText("a, "), (Items{"a"}));
}

TEST(CommaText, GroupsQuotedItems) {
  EXPECT_EQ(SplitCommaText("\"a b\",c"), (Items{"a b", "c"}));
  EXPECT_EQ(SplitCommaText("\"say \"\"hi\"\"\",\"x,y\""), (Items{"say \"hi\"", "x,y"}));
  EXPECT_EQ(SplitCommaText("\"\",x"), (Items{"", "x"}));
  EXPECT_EQ(SplitCommaText("\"ab\"cd"), (Items{"ab", "cd"}));
  EXPECT_EQ(SplitCommaText("\"open ended"), (Items{"open ended"}));
  EXPECT_EQ(SplitCommaText(std::string("a\0,b", 4)), (Items{"a"}));
}

TEST(CommaText, QuotesOnlyItemsThatNeedIt) {
  EXPECT_EQ(JoinCommaText({"1", "2", "3/2"}), "1,2,3/2");
  EXPECT_EQ(JoinCommaText({"a b", "c,d", "e\"f", "g\th", ""}), "\"a b\",\"c,d\",\"e\"\"f\",\"g\th\",");
  EXPECT_EQ(JoinCommaText({}), "");
  EXPECT_EQ(JoinCommaText({"caf\xC3\xA9"}), "caf\xC3\xA9");
}

TEST(CommaText, RoundTripsThroughJoinAndSplit) {
  const Items items{"plain", "with blank", "comma,inside", "quote\"inside", "", "x"};
  EXPECT_EQ(SplitCommaText(JoinCommaText(items)), items);
}
