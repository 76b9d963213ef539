// Numbers the user writes (options, panel scripts, the terminal editor, a
// base track), read by one rule, and numbers the tool writes.
//
// The rule, the same wherever a user's number is read:
// - decimal only: an optional sign, digits, for a real number an optional
//   '.' fraction and exponent ("-2.5", ".5", "3e2", "+7");
// - '.' is the decimal point whatever the locale; "0,25" is refused;
// - no hexadecimal ("0x10"), no blanks before or after, nothing after;
// - no nan or inf: every number read is finite, and one too large for a
//   double ("1e400") or too close to 0 to hold ("1e-400") is refused;
// - a whole number is digits only: "10.7", "10.0" and "1e3" are refused, as
//   is one outside the range asked (by default the 32-bit one);
// - "-0" is 0, for whole and real numbers alike.
// A refused text comes with the reason, for the message that names it.
//
// A scene file's numbers are not read here: there what counts is how the
// module reads its own lines, which the scene reader reproduces.
#pragma once

#include <cstdint>
#include <limits>
#include <string>
#include <string_view>

namespace text {

// Why a text is not a number, from the most telling reason down.
enum class Refusal {
    None,
    Empty,
    Blanks,     // blanks before or after the number
    Hex,        // "0x..."
    Comma,      // a ',' where the decimal point goes
    NotFinite,  // nan, inf
    TooLarge,   // beyond what a double holds, or too close to 0
    Outside,    // a whole number outside the range asked
    Fraction,   // a whole number with a fraction: "10.7"
    NotDigits,  // a whole number written as a real one: "1e3", "10.0"
    NotDecimal, // anything else: "1x", "--1", "1 2"
};

template <typename Number> struct Reading {
    Number value{}; // 0 when refused
    Refusal refusal = Refusal::None;
    explicit operator bool() const { return refusal == Refusal::None; }
};

// A finite real number by the rule above.
Reading<double> readReal(std::string_view text);

constexpr int64_t kWholeMin = std::numeric_limits<int32_t>::min();
constexpr int64_t kWholeMax = std::numeric_limits<int32_t>::max();
// A whole number from low to high (both included) by the rule above.
Reading<int64_t> readWhole(std::string_view text, int64_t low = kWholeMin,
                           int64_t high = kWholeMax);
// The same for counts past the signed range, such as a 64-bit seed.
Reading<uint64_t> readUnsigned(std::string_view text, uint64_t low, uint64_t high);

// The reason in words, as a clause: "hexadecimal is not read".
std::string reason(Refusal refusal);
// ": reason", to end a message that already says the text is no number,
// or nothing where the reason would only repeat it: an empty or garbled
// text, a whole number outside a range the message names itself.
std::string aside(Refusal refusal);

// As printf's "%.<decimals>f" (0 to 17 decimals) without its cost per call,
// and never "-0.00": a value that rounds to zero is written without a sign.
std::string fixed(double value, int decimals);
// The same, appended to out: no string of its own per number.
void appendFixed(std::string& out, double value, int decimals);
// As printf's "%.<digits>g" (1 to 17 digits) without its cost per call.
std::string general(double value, int digits = 6);

} // namespace text
