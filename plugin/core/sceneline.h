// Scene-file lines as the handler's load and save callbacks see them: a
// keyword token, optionally one blank and a real number. Each call moves
// exactly one line through the host's load or save state, in fixed buffers
// and without allocating.
#pragma once

#include "abi/handler.h"
#include "plugin/vocabulary.h"

#include <cstdint>

// Characters of every line buffer, terminating NUL included.
constexpr int kSceneLineSize = static_cast<int>(vrim::kLineChars) + 1;

// One line as read. The caller owns it; a load reuses one record for its
// whole block, so a line without a number keeps the previous line's value.
struct SceneLine {
    char token[kSceneLineSize]; // the line up to its first blank, NUL-terminated
    int32_t length;             // characters in token
    double value;               // number after the first blank; kept when there is no blank
};

namespace vrim {

// Reads the next line from the host into line and returns the token's length.
int32_t readSceneLine(const LoadState* state, SceneLine* line);

// 0 when the line's token is the keyword or a leading part of it (the empty
// token included), 1 otherwise. Case matters.
int32_t compareSceneToken(const char* keyword, const SceneLine* line);

// Writes the keyword alone as one line.
void writeSceneToken(const SaveState* state, const char* keyword);

// Writes the keyword followed by " %f" of value as one line, always with "."
// as the decimal point. A magnitude whose fixed-point text would not fit the
// line is written as " %.17g", and non-finite values as " inf", " -inf" and
// " nan"; the reader turns each of them back into the same double.
void writeSceneValue(const SaveState* state, const char* keyword, double value);

// A scene number as a 32-bit integer: truncated toward zero; beyond the
// 32-bit range the low 32 bits (two's complement) of the truncated value;
// beyond the 64-bit range, infinities and NaN give 0.
int32_t sceneInteger(double value);

} // namespace vrim
