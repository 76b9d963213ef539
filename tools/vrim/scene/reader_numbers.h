// How the module reads the number of one key block line, beside what the
// line says: a number the module reads as something else, a line it cuts,
// a value that is not finite.
#pragma once

#include <optional>
#include <string>

namespace vrim::scene {

// What the field a line sets does with its number.
enum class NumberUse {
    Real,    // kept as a double
    Integer, // truncated to a 32-bit integer (frames, fall-off, the key count)
};

struct NumberFinding {
    enum class Kind {
        NotFinite, // the line says nan or inf, and the module takes it so
        Misread,   // the module takes another number than the line says
        Cut,       // the line is longer than the module reads
    };
    Kind kind = Kind::Misread;
    std::string message; // what happens, quoting the line's number; no line number
    double taken = 0.0;  // what the module takes, before any conversion to an integer
};

// Nothing when the module takes the number the line says, or when the line
// holds no number for the module (no blank).
std::optional<NumberFinding> checkNumber(const std::string& line, NumberUse use);

} // namespace vrim::scene
