#include "text/numbers.h"

#include <charconv>
#include <cmath>
#include <cstdint>

namespace text {

namespace {

// Every blank the C library would skip, so that none slips through.
bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// What no number may hold, whole or real: checked before anything else so
// that the reason names it.
Refusal shapeRefusal(std::string_view text) {
    if (text.empty()) {
        return Refusal::Empty;
    }
    if (isSpace(text.front()) || isSpace(text.back())) {
        return Refusal::Blanks;
    }
    std::string_view digits = text;
    if (digits.front() == '+' || digits.front() == '-') {
        digits.remove_prefix(1);
    }
    if (digits.size() > 1 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
        return Refusal::Hex;
    }
    return Refusal::None;
}

template <typename Number> Reading<Number> refused(Refusal refusal) {
    Reading<Number> reading;
    reading.refusal = refusal;
    return reading;
}

Reading<double> realOf(std::string_view text) {
    const char* begin = text.data();
    const char* end = begin + text.size();
    // from_chars takes no plus sign; "+-1" stays refused.
    if (text.size() > 1 && text[0] == '+' && text[1] != '-') {
        ++begin;
    }
    double value = 0.0;
    const auto [stop, error] = std::from_chars(begin, end, value, std::chars_format::general);
    if (stop != end || begin == end) {
        return refused<double>(Refusal::NotDecimal);
    }
    if (error == std::errc::result_out_of_range) {
        return refused<double>(Refusal::TooLarge);
    }
    if (error != std::errc()) {
        return refused<double>(Refusal::NotDecimal);
    }
    if (!std::isfinite(value)) {
        return refused<double>(Refusal::NotFinite);
    }
    Reading<double> reading;
    reading.value = value == 0.0 ? 0.0 : value; // "-0" is 0
    return reading;
}

// A whole number's sign and size, the size held to the largest uint64_t.
struct Whole {
    bool negative = false;
    uint64_t size = 0;
    bool tooLarge = false;
};

Refusal wholeOf(std::string_view text, Whole& whole) {
    if (const Refusal refusal = shapeRefusal(text); refusal != Refusal::None) {
        return refusal;
    }
    std::string_view digits = text;
    if (digits.front() == '+' || digits.front() == '-') {
        whole.negative = digits.front() == '-';
        digits.remove_prefix(1);
    }
    bool onlyDigits = !digits.empty();
    for (char c : digits) {
        onlyDigits = onlyDigits && isDigit(c);
    }
    if (!onlyDigits) {
        // Say what the text is instead, where it is a real number or near one.
        const Reading<double> real = readReal(text);
        if (!real) {
            return real.refusal;
        }
        return real.value != std::trunc(real.value) ? Refusal::Fraction : Refusal::NotDigits;
    }
    for (char c : digits) {
        const auto digit = static_cast<uint64_t>(c - '0');
        if (whole.size > (UINT64_MAX - digit) / 10) {
            whole.tooLarge = true;
            whole.size = UINT64_MAX;
        } else if (!whole.tooLarge) {
            whole.size = whole.size * 10 + digit;
        }
    }
    return Refusal::None;
}

} // namespace

Reading<double> readReal(std::string_view text) {
    if (const Refusal refusal = shapeRefusal(text); refusal != Refusal::None) {
        return refused<double>(refusal);
    }
    Reading<double> reading = realOf(text);
    if (reading.refusal == Refusal::NotDecimal && text.find(',') != std::string_view::npos) {
        std::string dotted(text);
        for (char& c : dotted) {
            c = c == ',' ? '.' : c;
        }
        if (realOf(dotted)) {
            return refused<double>(Refusal::Comma);
        }
    }
    return reading;
}

Reading<int64_t> readWhole(std::string_view text, int64_t low, int64_t high) {
    Whole whole;
    if (const Refusal refusal = wholeOf(text, whole); refusal != Refusal::None) {
        return refused<int64_t>(refusal);
    }
    constexpr uint64_t kLargestNegative = uint64_t{1} << 63;
    if (whole.tooLarge || whole.size > (whole.negative ? kLargestNegative : uint64_t{INT64_MAX})) {
        return refused<int64_t>(Refusal::Outside);
    }
    const int64_t value =
        whole.negative ? static_cast<int64_t>(0 - whole.size) : static_cast<int64_t>(whole.size);
    if (value < low || value > high) {
        return refused<int64_t>(Refusal::Outside);
    }
    Reading<int64_t> reading;
    reading.value = value;
    return reading;
}

Reading<uint64_t> readUnsigned(std::string_view text, uint64_t low, uint64_t high) {
    Whole whole;
    if (const Refusal refusal = wholeOf(text, whole); refusal != Refusal::None) {
        return refused<uint64_t>(refusal);
    }
    if (whole.tooLarge || (whole.negative && whole.size != 0) || whole.size < low ||
        whole.size > high) {
        return refused<uint64_t>(Refusal::Outside);
    }
    Reading<uint64_t> reading;
    reading.value = whole.size;
    return reading;
}

std::string reason(Refusal refusal) {
    switch (refusal) {
    case Refusal::None:
        return "";
    case Refusal::Empty:
        return "nothing is written";
    case Refusal::Blanks:
        return "blanks before or after it are not read";
    case Refusal::Hex:
        return "hexadecimal is not read";
    case Refusal::Comma:
        return "the decimal point is '.'";
    case Refusal::NotFinite:
        return "it is not finite";
    case Refusal::TooLarge:
        return "it is beyond the range of a number";
    case Refusal::Outside:
        return "it is out of range";
    case Refusal::Fraction:
        return "a whole number has no fraction";
    case Refusal::NotDigits:
        return "a whole number is written in digits only";
    case Refusal::NotDecimal:
        return "it is not a decimal number";
    }
    return "";
}

std::string aside(Refusal refusal) {
    switch (refusal) {
    case Refusal::None:
    case Refusal::Empty:
    case Refusal::Outside:
    case Refusal::NotDecimal:
        return "";
    default:
        return ": " + reason(refusal);
    }
}

namespace {

// Whole numbers of units at up to this many decimals are written from an
// integer: exact while the scaled value stays below 2^43.
constexpr int kQuickDecimals = 9;
constexpr double kQuickLimit = 8796093022208.0; // 2^43
// Below 2^43 the product value * 10^decimals is off the true one by at most
// 2^-11; a fraction this far from one half rounds the same either way.
constexpr double kTieMargin = 1.0 / 1024;

bool appendQuick(std::string& out, double value, int decimals) {
    static constexpr double kScale[kQuickDecimals + 1] = {1e0, 1e1, 1e2, 1e3, 1e4,
                                                          1e5, 1e6, 1e7, 1e8, 1e9};
    if (decimals < 0 || decimals > kQuickDecimals || !std::isfinite(value)) {
        return false;
    }
    const double scaled = std::fabs(value) * kScale[decimals];
    if (!(scaled < kQuickLimit)) {
        return false;
    }
    const double whole = std::floor(scaled);
    const double fraction = scaled - whole;
    if (std::fabs(fraction - 0.5) <= kTieMargin) {
        return false; // a tie, or near enough to one that only exact digits tell
    }
    const auto units = static_cast<std::uint64_t>(whole) + (fraction > 0.5 ? 1 : 0);
    char digits[24];
    const auto end = std::to_chars(digits, digits + sizeof digits, units).ptr;
    const auto count = static_cast<std::size_t>(end - digits);
    const auto places = static_cast<std::size_t>(decimals);
    if (units != 0 && value < 0) {
        out += '-'; // a value that rounds to zero has no sign
    }
    if (count <= places) {
        out += "0.";
        out.append(places - count, '0');
        out.append(digits, count);
        return true;
    }
    out.append(digits, count - places);
    if (places > 0) {
        out += '.';
        out.append(digits + (count - places), places);
    }
    return true;
}

} // namespace

void appendFixed(std::string& out, double value, int decimals) {
    if (appendQuick(out, value, decimals)) {
        return;
    }
    // The largest double has 309 digits before the point.
    char text[400];
    const auto end =
        std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, decimals).ptr;
    std::string_view written(text, static_cast<std::size_t>(end - text));
    if (!written.empty() && written.front() == '-' &&
        written.find_first_not_of("0.", 1) == std::string_view::npos) {
        written.remove_prefix(1);
    }
    out += written;
}

std::string fixed(double value, int decimals) {
    std::string text;
    appendFixed(text, value, decimals);
    return text;
}

std::string general(double value, int digits) {
    char text[64];
    const auto end =
        std::to_chars(text, text + sizeof text, value, std::chars_format::general, digits).ptr;
    return std::string(text, end);
}

} // namespace text
