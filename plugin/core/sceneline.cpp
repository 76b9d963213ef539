// Line syntax of the key block: the only place that knows how a scene line
// is split, matched, and how its numbers are written and read.
//
// Numbers always use "." whatever locale the host process has switched to: a
// scene saved on a German system must load anywhere, and the other way round.
// The module never calls setlocale; it only looks at the locale's decimal
// point to undo what the C library's conversions do with it.
#include "plugin/core/sceneline.h"

#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

namespace vrim {

namespace {

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

char lowerCase(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// Length of word when text begins with it in any case; 0 otherwise.
std::size_t leadingWord(const char* text, const char* word) {
    std::size_t i = 0;
    for (; word[i] != '\0'; ++i) {
        if (lowerCase(text[i]) != word[i]) {
            return 0;
        }
    }
    return i;
}

// Length of the longest leading part of text that is a decimal number: an
// optional sign, digits with an optional ".", an optional exponent; or the
// words inf, infinity and nan, which the writer uses for non-finite values.
// Hexadecimal and the locale's own decimal point are not numbers here.
std::size_t numberLength(const char* text) {
    std::size_t i = 0;
    if (text[i] == '+' || text[i] == '-') {
        ++i;
    }
    const char first = lowerCase(text[i]);
    if (first == 'i' || first == 'n') {
        for (const char* word : {"infinity", "inf", "nan"}) {
            if (std::size_t length = leadingWord(text + i, word); length != 0) {
                return i + length;
            }
        }
    }
    std::size_t digits = 0;
    while (isDigit(text[i])) {
        ++i;
        ++digits;
    }
    if (text[i] == '.') {
        std::size_t j = i + 1;
        while (isDigit(text[j])) {
            ++j;
            ++digits;
        }
        if (digits != 0) {
            i = j;
        }
    }
    if (digits == 0) {
        return 0;
    }
    if (text[i] == 'e' || text[i] == 'E') {
        std::size_t j = i + 1;
        if (text[j] == '+' || text[j] == '-') {
            ++j;
        }
        if (isDigit(text[j])) {
            while (isDigit(text[j])) {
                ++j;
            }
            i = j;
        }
    }
    return i;
}

// Converts the number text that follows a line's first blank; 0.0 when it
// holds no number. Whatever follows the number is ignored.
double convertNumber(const char* text) {
    while (isSpace(*text)) {
        ++text;
    }
    const std::size_t length = numberLength(text);
    if (length == 0) {
        return 0.0;
    }
    // Where strtod reads exactly the number found above, its value is the
    // number's; only a text it reads differently (hexadecimal, a locale with
    // another decimal point) needs the number on its own.
    char* end = nullptr;
    const double direct = std::strtod(text, &end);
    if (end == text + length) {
        return direct;
    }
    // The text comes from a line buffer, so it fits one with its NUL.
    char number[kSceneLineSize];
    std::memcpy(number, text, length);
    number[length] = '\0';

    const double value = std::strtod(number, &end);
    if (end == number + length) {
        return value;
    }
    // strtod stopped short: it takes the locale's decimal point, not ".".
    const char* dot = static_cast<const char*>(std::memchr(number, '.', length));
    const char* point = std::localeconv()->decimal_point;
    const std::size_t pointLength = point != nullptr ? std::strlen(point) : 0;
    if (dot == nullptr || pointLength == 0 || length - 1 + pointLength >= kSceneLineSize) {
        return value;
    }
    char local[kSceneLineSize];
    const std::size_t before = static_cast<std::size_t>(dot - number);
    std::memcpy(local, number, before);
    std::memcpy(local + before, point, pointLength);
    std::memcpy(local + before + pointLength, dot + 1, length - before); // NUL included
    const std::size_t localLength = length - 1 + pointLength;
    const double localValue = std::strtod(local, &end);
    return end == local + localLength ? localValue : value;
}

// Puts "." back where the C library wrote the locale's decimal point.
void useDotAsPoint(char* text) {
    const char* point = std::localeconv()->decimal_point;
    if (point == nullptr || point[0] == '\0' || std::strcmp(point, ".") == 0) {
        return;
    }
    char* found = std::strstr(text, point);
    if (found == nullptr) {
        return;
    }
    const std::size_t pointLength = std::strlen(point);
    *found = '.';
    std::memmove(found + 1, found + pointLength, std::strlen(found + pointLength) + 1);
}

// The number text of a written line, at most room characters where it can
// be: " %f" when that fits, otherwise all seventeen significant digits.
void formatNumber(char* number, double value, std::size_t room) {
    if (std::isnan(value)) {
        std::strcpy(number, " nan");
        return;
    }
    if (std::isinf(value)) {
        std::strcpy(number, value < 0 ? " -inf" : " inf");
        return;
    }
    const int written = std::snprintf(number, kSceneLineSize, " %f", value);
    if (written > 0 && written < kSceneLineSize) {
        useDotAsPoint(number);
        if (std::strlen(number) <= room) {
            return;
        }
    }
    std::snprintf(number, kSceneLineSize, " %.17g", value);
    useDotAsPoint(number);
}

void writeLine(const SaveState* state, const char* text) {
    state->write(state->writeData, text, static_cast<int32_t>(std::strlen(text) + 1));
}

} // namespace

int32_t readSceneLine(const LoadState* state, SceneLine* line) {
    // Emptied first: a read past the end of the data, or one that fails,
    // leaves the buffer alone, and the empty line then ends the block instead
    // of repeating the text of an earlier read.
    char buffer[kSceneLineSize] = {};
    state->read(state->readData, buffer, kSceneLineSize);
    buffer[kSceneLineSize - 1] = '\0'; // a host line that did not fit is cut

    int32_t i = 0;
    while (buffer[i] != '\0' && buffer[i] != ' ') {
        line->token[i] = buffer[i];
        ++i;
    }
    line->token[i] = '\0';
    if (buffer[i] == ' ') {
        line->value = convertNumber(buffer + i);
    }
    line->length = i;
    return i;
}

int32_t compareSceneToken(const char* keyword, const SceneLine* line) {
    for (int i = 0;; ++i) {
        if (line->token[i] == '\0') {
            return 0;
        }
        if (keyword[i] == '\0' || keyword[i] != line->token[i]) {
            return 1;
        }
    }
}

void writeSceneToken(const SaveState* state, const char* keyword) {
    writeLine(state, keyword);
}

void writeSceneValue(const SaveState* state, const char* keyword, double value) {
    const std::size_t keywordLength = std::strlen(keyword);
    const std::size_t room =
        keywordLength < kSceneLineSize - 1 ? kSceneLineSize - 1 - keywordLength : 0;
    char number[kSceneLineSize];
    formatNumber(number, value, room);
    // Joined by hand: a second snprintf here would cost a fifth of a save's time.
    // Cut at the line's size, as snprintf would cut it.
    const std::size_t head =
        keywordLength < kSceneLineSize - 1 ? keywordLength : kSceneLineSize - 1;
    const std::size_t numberChars = std::strlen(number);
    const std::size_t tail =
        numberChars < kSceneLineSize - 1 - head ? numberChars : kSceneLineSize - 1 - head;
    char line[kSceneLineSize];
    std::memcpy(line, keyword, head);
    std::memcpy(line + head, number, tail);
    line[head + tail] = '\0';
    state->write(state->writeData, line, static_cast<int32_t>(head + tail + 1));
}

int32_t sceneInteger(double value) {
    // Checked before any conversion: casting a double outside the target's
    // range is undefined, so NaN, infinities and |value| >= 2^63 stop here.
    constexpr double kTwoTo63 = 9223372036854775808.0;
    if (!(value >= -kTwoTo63 && value < kTwoTo63)) {
        return 0;
    }
    const auto truncated = static_cast<int64_t>(value); // toward zero, in range
    return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(truncated)));
}

} // namespace vrim
