#include "tools/vrim/scene/reader_numbers.h"

#include "plugin/core/sceneline.h"
#include "plugin/vocabulary.h"
#include "standin/scene_io.h"
#include "text/names.h"
#include "text/numbers.h"
#include "tools/vrim/scene/reader_lines.h"

#include <charconv>
#include <cmath>
#include <limits>

namespace vrim::scene {

namespace {

std::string numberText(double value) {
    return text::general(value, 10);
}

// A number as the scene writes it, for a message: its own characters,
// decoded as names are, and short.
std::string briefly(const std::string& text) {
    constexpr std::size_t kShown = 40;
    return "\"" + text::excerpt(printable(text), kShown) + "\"";
}

// The module's own reading, through a host read that cuts the line at the
// module's buffer as the host does.
double moduleReading(const std::string& line) {
    standin::LineReader reader({line});
    const LoadState state = reader.state();
    SceneLine read{};
    read.value = std::numeric_limits<double>::quiet_NaN();
    readSceneLine(&state, &read);
    return read.value;
}

std::string cutMessage(const std::string& line) {
    return "the line is " + std::to_string(line.size()) +
           " characters long: the module reads only its first " + std::to_string(kLineChars);
}

// Why the module reads written, which is no plain decimal, as it does.
std::string misreadReason(const std::string& written) {
    std::string dotted = written;
    for (char& c : dotted) {
        c = c == ',' ? '.' : c;
    }
    double meant = 0.0;
    if (dotted != written && parseDecimal(dotted, meant)) {
        return ", not " + numberText(meant) + ": a comma is not a decimal point here";
    }
    if (written.find_first_not_of(' ') == std::string::npos) {
        return ": the line has no number after its blank";
    }
    double lead = 0.0;
    const char* begin = written.data() + written.find_first_not_of(' ');
    const auto [stop, error] = std::from_chars(begin, written.data() + written.size(), lead);
    return error == std::errc() && stop != begin ? ": it ignores the text after the number"
                                                 : ": the text holds no number it can read";
}

// A whole number that the module takes otherwise than written.
NumberFinding integerFinding(const std::string& written, double value, const std::string& takes,
                             double taken) {
    std::string message = "the module takes " + briefly(written) + " as " + takes;
    if (value < std::numeric_limits<int32_t>::min() ||
        value > std::numeric_limits<int32_t>::max()) {
        message += ": the number is outside the 32-bit range of whole frames";
    } else {
        message += ": it reads whole numbers only and drops the fraction";
    }
    return NumberFinding{NumberFinding::Kind::Misread, message, taken};
}

} // namespace

std::optional<NumberFinding> checkNumber(const std::string& line, NumberUse use) {
    const std::size_t blank = line.find(' ');
    if (blank == std::string::npos) {
        return std::nullopt;
    }
    const double taken = moduleReading(line);
    const bool cut = line.size() > kLineChars;
    if (cut && blank >= kLineChars) {
        return NumberFinding{NumberFinding::Kind::Cut, cutMessage(line) + ", which hold no number",
                             0.0};
    }
    const std::string written = line.substr(blank + 1);
    double value = 0.0;
    const bool strict = parseDecimal(written, value);
    const int32_t integer = sceneInteger(taken);
    if (!cut && strict && std::isfinite(value) &&
        (use == NumberUse::Real ? value == taken : static_cast<double>(integer) == value)) {
        return std::nullopt; // read as written: the common case, decided without text
    }
    const std::string takes =
        use == NumberUse::Integer ? std::to_string(integer) : numberText(taken);
    if (cut) {
        std::string message = cutMessage(line) + " and takes " + takes;
        if (strict && value != taken) {
            message += " instead of " + numberText(value);
        }
        return NumberFinding{NumberFinding::Kind::Cut, message, taken};
    }
    if (!strict) {
        return NumberFinding{NumberFinding::Kind::Misread,
                             "the module reads " + briefly(written) + " as " + takes +
                                 misreadReason(written),
                             taken};
    }
    if (!std::isfinite(value)) {
        return NumberFinding{NumberFinding::Kind::NotFinite,
                             briefly(written) + " is not a finite number", taken};
    }
    if (use == NumberUse::Integer && static_cast<double>(integer) != value) {
        return integerFinding(written, value, takes, taken);
    }
    return std::nullopt;
}

} // namespace vrim::scene
