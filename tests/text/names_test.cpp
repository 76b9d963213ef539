// Names shown by one rule: decoded from UTF-8, else Windows-1252, and
// escaped for a terminal where a character would act on it or hide.
// Expected values are worked out by hand.
#include "text/names.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using namespace std::string_literals;

TEST(NameBytesTest, CodePointsKeepEveryCharacter) {
    struct Case {
        std::string bytes;
        text::Encoding encoding;
        std::u32string points;
    };
    const Case cases[] = {
        {"Cam", text::Encoding::Auto, U"Cam"},
        // A NUL is a character like any other: nothing after it is lost.
        {"a\0b"s, text::Encoding::Auto, U"a\0b"s},
        {"caf\xc3\xa9", text::Encoding::Auto, U"caf\u00e9"},
        // Not UTF-8: every byte one Windows-1252 character.
        {"caf\xe9 \x80\x9f", text::Encoding::Auto, U"caf\u00e9 \u20ac\u0178"},
        // Undefined Windows-1252 bytes stay the C1 control of their value.
        {"\x81\x8d", text::Encoding::Windows1252, U"\u0081\u008d"},
        {"caf\xc3\xa9", text::Encoding::Windows1252, U"caf\u00c3\u00a9"},
        {"x\xe9y", text::Encoding::Utf8, U"x\ufffdy"},
        // Overlong and surrogate forms are not UTF-8.
        {"\xc0\xaf", text::Encoding::Auto, U"\u00c0\u00af"},
        {"\xed\xa0\x80", text::Encoding::Utf8, U"\ufffd\ufffd\ufffd"},
        {"\xf0\x9f\x8e\xac", text::Encoding::Auto, U"\U0001f3ac"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(text::codePoints(c.bytes, c.encoding), c.points) << c.bytes;
    }
}

TEST(NameBytesTest, DecodedNamesKeepTheirBytesWhenUtf8) {
    EXPECT_EQ(text::decode("a\0\xc3\xa9"s, text::Encoding::Auto), "a\0\xc3\xa9"s);
    EXPECT_EQ(text::decode("\xe9\x80", text::Encoding::Auto), "\xc3\xa9\xe2\x82\xac");
    EXPECT_EQ(text::decode("\xe9", text::Encoding::Utf8), "\xef\xbf\xbd");
}

TEST(NameBytesTest, TerminalsGetVisibleEscapes) {
    struct Case {
        std::string text;
        std::string shown;
    };
    const Case cases[] = {
        {"Plain Name", "Plain Name"},
        {"a\0b"s, "a\\x00b"},
        {"\x1b[2J", "\\x1b[2J"},
        {"tab\there\n", "tab\\x09here\\x0a"},
        {"del\x7f", "del\\x7f"},
        {"c1\xc2\x85", "c1\\u0085"},
        // Right-to-left override, isolates and marks turn the text around
        // them; a byte-order mark hides.
        {"abc\xe2\x80\xae"
         "gpj.exe",
         "abc\\u202egpj.exe"},
        {"\xe2\x81\xa6x\xe2\x81\xa9", "\\u2066x\\u2069"},
        {"\xe2\x80\x8f\xe2\x80\x8e", "\\u200f\\u200e"},
        {"\xef\xbb\xbf"
         "Cam",
         "\\ufeffCam"},
        {"\xd8\x9c", "\\u061c"},
        // Other non-ASCII, zero-width joiners and emoji among it, as it is.
        {"caf\xc3\xa9 \xe2\x80\x8d \xf0\x9f\x8e\xac", "caf\xc3\xa9 \xe2\x80\x8d \xf0\x9f\x8e\xac"},
        {"bad\xff", "bad\\xff"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(text::terminalSafe(c.text), c.shown) << c.shown;
    }
}

TEST(NameBytesTest, EncodingsAreNamedInAnyCase) {
    EXPECT_EQ(text::parseEncoding("UTF8"), text::Encoding::Utf8);
    EXPECT_EQ(text::parseEncoding("Latin1"), text::Encoding::Windows1252);
    EXPECT_EQ(text::parseEncoding("Auto"), text::Encoding::Auto);
    EXPECT_EQ(text::parseEncoding("utf-16"), std::nullopt);
    EXPECT_EQ(text::parseEncoding(""), std::nullopt);
}

} // namespace
