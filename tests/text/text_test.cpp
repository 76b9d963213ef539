// The tool's text: the rule for the user's numbers, numbers written, lines,
// fields and words. Expected values are worked out by hand.
#include "text/numbers.h"
#include "text/words.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

using text::Refusal;

TEST(UserNumbersTest, RealNumbersFollowOneRule) {
    const struct {
        const char* text;
        Refusal refusal;
        double value; // when read
    } cases[] = {
        {"0.25", Refusal::None, 0.25},
        {"-2.5", Refusal::None, -2.5},
        {"+7", Refusal::None, 7.0},
        {".5", Refusal::None, 0.5},
        {"5.", Refusal::None, 5.0},
        {"3e2", Refusal::None, 300.0},
        {"1E-3", Refusal::None, 0.001},
        {"1e12", Refusal::None, 1e12},
        {"4.9e-324", Refusal::None, 4.9e-324},
        {"", Refusal::Empty, 0},
        {" 5", Refusal::Blanks, 0},
        {"5 ", Refusal::Blanks, 0},
        {"\t5", Refusal::Blanks, 0},
        {"5\r", Refusal::Blanks, 0},
        {"0x10", Refusal::Hex, 0},
        {"-0X1p3", Refusal::Hex, 0},
        {"0,25", Refusal::Comma, 0},
        {"-1,5e2", Refusal::Comma, 0},
        {"nan", Refusal::NotFinite, 0},
        {"-inf", Refusal::NotFinite, 0},
        {"Infinity", Refusal::NotFinite, 0},
        {"1e400", Refusal::TooLarge, 0},
        {"-1e400", Refusal::TooLarge, 0},
        {"1e-400", Refusal::TooLarge, 0},
        {"1x", Refusal::NotDecimal, 0},
        {"+-1", Refusal::NotDecimal, 0},
        {"++1", Refusal::NotDecimal, 0},
        {"--1", Refusal::NotDecimal, 0},
        {"1 2", Refusal::NotDecimal, 0},
        {"1,2,3", Refusal::NotDecimal, 0},
        {"1e", Refusal::NotDecimal, 0},
        {".", Refusal::NotDecimal, 0},
        {"+", Refusal::NotDecimal, 0},
        {"-", Refusal::NotDecimal, 0},
    };
    for (const auto& c : cases) {
        const text::Reading<double> read = text::readReal(c.text);
        EXPECT_EQ(read.refusal, c.refusal) << '"' << c.text << '"';
        EXPECT_EQ(read.value, c.value) << '"' << c.text << '"';
    }
}

TEST(UserNumbersTest, MinusZeroIsZero) {
    for (const char* zero : {"-0", "-0.0", "-0e5", "-.0"}) {
        const text::Reading<double> real = text::readReal(zero);
        ASSERT_TRUE(real) << zero;
        EXPECT_FALSE(std::signbit(real.value)) << zero;
    }
    const text::Reading<int64_t> whole = text::readWhole("-0");
    ASSERT_TRUE(whole);
    EXPECT_EQ(whole.value, 0);
    EXPECT_TRUE(text::readUnsigned("-0", 0, 10));
}

TEST(UserNumbersTest, WholeNumbersAreDigitsInRange) {
    const struct {
        const char* text;
        Refusal refusal;
        int64_t value;
    } cases[] = {
        {"42", Refusal::None, 42},
        {"+42", Refusal::None, 42},
        {"-17", Refusal::None, -17},
        {"007", Refusal::None, 7},
        {"2147483647", Refusal::None, 2147483647},
        {"-2147483648", Refusal::None, -2147483647 - 1},
        {"2147483648", Refusal::Outside, 0},
        {"-2147483649", Refusal::Outside, 0},
        {"99999999999999999999999", Refusal::Outside, 0},
        {"10.7", Refusal::Fraction, 0},
        {"-0.5", Refusal::Fraction, 0},
        {"10.0", Refusal::NotDigits, 0},
        {"1e3", Refusal::NotDigits, 0},
        {"1e12", Refusal::NotDigits, 0},
        {"0x10", Refusal::Hex, 0},
        {" 1", Refusal::Blanks, 0},
        {"1\t", Refusal::Blanks, 0},
        {"0,25", Refusal::Comma, 0},
        {"nan", Refusal::NotFinite, 0},
        {"1e400", Refusal::TooLarge, 0},
        {"", Refusal::Empty, 0},
        {"-", Refusal::NotDecimal, 0},
        {"+-1", Refusal::NotDecimal, 0},
        {"12abc", Refusal::NotDecimal, 0},
    };
    for (const auto& c : cases) {
        const text::Reading<int64_t> read = text::readWhole(c.text);
        EXPECT_EQ(read.refusal, c.refusal) << '"' << c.text << '"';
        EXPECT_EQ(read.value, c.value) << '"' << c.text << '"';
    }
    // A range of the caller's, past 32 bits and to the ends of 64.
    EXPECT_EQ(text::readWhole("4294967295", 0, 4294967295).value, 4294967295);
    EXPECT_EQ(text::readWhole("5", 1, 4).refusal, Refusal::Outside);
    EXPECT_EQ(text::readWhole("-9223372036854775808", INT64_MIN, 0).value, INT64_MIN);
    EXPECT_EQ(text::readWhole("9223372036854775808", INT64_MIN, INT64_MAX).refusal,
              Refusal::Outside);
    EXPECT_EQ(text::readUnsigned("18446744073709551615", 0, UINT64_MAX).value, UINT64_MAX);
    EXPECT_EQ(text::readUnsigned("18446744073709551616", 0, UINT64_MAX).refusal, Refusal::Outside);
    EXPECT_EQ(text::readUnsigned("-1", 0, UINT64_MAX).refusal, Refusal::Outside);
}

TEST(UserNumbersTest, ReasonsAreSaidWhereTheyAddSomething) {
    EXPECT_EQ(text::aside(Refusal::Hex), ": hexadecimal is not read");
    EXPECT_EQ(text::aside(Refusal::Comma), ": the decimal point is '.'");
    EXPECT_EQ(text::aside(Refusal::Fraction), ": a whole number has no fraction");
    // The caller's message already says these.
    EXPECT_EQ(text::aside(Refusal::NotDecimal), "");
    EXPECT_EQ(text::aside(Refusal::Outside), "");
    EXPECT_EQ(text::aside(Refusal::Empty), "");
}

// The quick integer path must write exactly what printf writes: values
// across magnitudes, ties and near-ties at every decimal count it takes.
TEST(WrittenNumbersTest, FixedMatchesPrintfEverywhere) {
    std::mt19937_64 random(7);
    std::vector<double> values = {
        0.5,  1.5,   2.5,    0.125, 0.375,           1.005,  2.675, 0.045,
        1e-9, 5e-10, 999.95, 1e12,  8796093022207.5, 0.0001, 123.4, 0.30000000000000004};
    for (int i = 0; i < 20000; ++i) {
        const double magnitude = std::pow(10.0, static_cast<int>(random() % 28) - 14);
        values.push_back(std::uniform_real_distribution<double>(-1.0, 1.0)(random) * magnitude);
        // Halves of the last place kept: the cases where rounding must be exact.
        values.push_back(static_cast<double>(static_cast<int64_t>(random() % 2000001) - 1000000) /
                         std::pow(2.0, static_cast<int>(random() % 12)));
    }
    for (const double value : values) {
        for (int decimals = 0; decimals <= 9; ++decimals) {
            char expected[512];
            std::snprintf(expected, sizeof expected, "%.*f", decimals, value);
            std::string printf(expected);
            if (printf.front() == '-' && printf.find_first_not_of("0.", 1) == std::string::npos) {
                printf.erase(0, 1);
            }
            std::string appended = "x";
            text::appendFixed(appended, value, decimals);
            ASSERT_EQ(appended, "x" + printf) << value << " at " << decimals;
            ASSERT_EQ(text::fixed(value, decimals), printf) << value << " at " << decimals;
        }
    }
}

TEST(WrittenNumbersTest, FixedAndGeneralAsPrintfWithoutMinusZero) {
    const struct {
        double value;
        int decimals;
        const char* fixed;
    } fixedCases[] = {
        {1.5, 2, "1.50"},
        {-1.5, 0, "-2"},
        {2.5, 0, "2"},
        {-0.004, 2, "0.00"},
        {-0.005, 2, "-0.01"},
        {-0.0, 6, "0.000000"},
        {-0.4, 0, "0"},
        {-1e-12, 9, "0.000000000"},
        {123.456, 1, "123.5"},
        {-7.0, 3, "-7.000"},
        {1e20, 0, "100000000000000000000"},
    };
    for (const auto& c : fixedCases) {
        EXPECT_EQ(text::fixed(c.value, c.decimals), c.fixed) << c.value << " " << c.decimals;
    }
    EXPECT_EQ(text::fixed(-1.7976931348623157e308, 0).size(), 310u);
    EXPECT_EQ(text::general(0.1), "0.1");
    EXPECT_EQ(text::general(1.0 / 3.0), "0.333333");
    EXPECT_EQ(text::general(1e-5), "1e-05");
    EXPECT_EQ(text::general(1234567.0), "1.23457e+06");
    EXPECT_EQ(text::general(29.97, 10), "29.97");
}

TEST(SplittingTest, LinesFieldsAndWords) {
    using Views = std::vector<std::string_view>;
    const struct {
        const char* text;
        Views lines;
    } lineCases[] = {
        {"", {}},
        {"a", {"a"}},
        {"a\nb\n", {"a", "b"}},
        {"a\r\nb", {"a", "b"}},
        {"a\n\n", {"a", ""}},
        {"\n", {""}},
        {"a\rb\r", {"a\rb"}},
    };
    for (const auto& c : lineCases) {
        EXPECT_EQ(text::splitLines(c.text), c.lines) << '"' << c.text << '"';
    }
    EXPECT_EQ(text::splitFields("", ','), Views{""});
    EXPECT_EQ(text::splitFields("a,,b", ','), (Views{"a", "", "b"}));
    EXPECT_EQ(text::splitFields("1:2:", ':'), (Views{"1", "2", ""}));
    EXPECT_EQ(text::splitWords(" \tone  two\tthree "), (Views{"one", "two", "three"}));
    EXPECT_EQ(text::splitWords(" \t "), Views{});
    EXPECT_EQ(text::trimBlanks("\t a b \t"), "a b");

    std::string_view rest = "  Key 3 ";
    EXPECT_EQ(text::takeWord(rest), "Key");
    EXPECT_EQ(rest, " 3 ");
    EXPECT_EQ(text::takeWord(rest), "3");
    EXPECT_EQ(text::takeWord(rest), "");
}
