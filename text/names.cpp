#include "text/names.h"

#include <algorithm>
#include <array>
#include <cstdint>

namespace text {

namespace {

// Windows-1252's characters for bytes 0x80-0x9f; the five bytes it leaves
// undefined map to the C1 controls of the same value, as Windows does.
constexpr std::array<char32_t, 32> kWindows1252High = {
    0x20ac, 0x0081, 0x201a, 0x0192, 0x201e, 0x2026, 0x2020, 0x2021, 0x02c6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008d, 0x017d, 0x008f, 0x0090, 0x2018, 0x2019, 0x201c, 0x201d, 0x2022,
    0x2013, 0x2014, 0x02dc, 0x2122, 0x0161, 0x203a, 0x0153, 0x009d, 0x017e, 0x0178};

constexpr char32_t kReplacement = 0xfffd;

void append(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xc0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3f));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xe0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3f));
        out += static_cast<char>(0x80 | (c & 0x3f));
    } else {
        out += static_cast<char>(0xf0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3f));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3f));
        out += static_cast<char>(0x80 | (c & 0x3f));
    }
}

// The length of the well-formed UTF-8 sequence at the start of bytes, with
// its character; 0 when the bytes there are not one.
std::size_t sequence(std::string_view bytes, char32_t& c) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
    const unsigned char lead = byte(0);
    std::size_t length = 0;
    char32_t low = 0;
    if (lead < 0x80) {
        c = lead;
        return 1;
    } else if (lead >= 0xc2 && lead <= 0xdf) {
        length = 2, c = lead & 0x1f, low = 0x80;
    } else if (lead >= 0xe0 && lead <= 0xef) {
        length = 3, c = lead & 0x0f, low = 0x800;
    } else if (lead >= 0xf0 && lead <= 0xf4) {
        length = 4, c = lead & 0x07, low = 0x10000;
    } else {
        return 0;
    }
    if (bytes.size() < length) {
        return 0;
    }
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(i) & 0xc0) != 0x80) {
            return 0;
        }
        c = (c << 6) | (byte(i) & 0x3f);
    }
    if (c < low || c > 0x10ffff || (c >= 0xd800 && c <= 0xdfff)) {
        return 0;
    }
    return length;
}

// Invisible characters that change how the text around them reads: the
// bidirectional marks, embeddings, overrides and isolates, and the
// byte-order mark (zero-width no-break space).
bool turnsText(char32_t c) {
    return c == 0x061c || c == 0x200e || c == 0x200f || (c >= 0x202a && c <= 0x202e) ||
           (c >= 0x2066 && c <= 0x2069) || c == 0xfeff;
}

char lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool sameIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (lower(a[i]) != lower(b[i])) {
            return false;
        }
    }
    return true;
}

} // namespace

std::optional<Encoding> parseEncoding(std::string_view text) {
    for (const char* name : {"auto"}) {
        if (sameIgnoringCase(text, name)) {
            return Encoding::Auto;
        }
    }
    for (const char* name : {"utf-8", "utf8"}) {
        if (sameIgnoringCase(text, name)) {
            return Encoding::Utf8;
        }
    }
    for (const char* name : {"windows-1252", "cp1252", "latin1"}) {
        if (sameIgnoringCase(text, name)) {
            return Encoding::Windows1252;
        }
    }
    return std::nullopt;
}

bool isUtf8(std::string_view bytes) {
    while (!bytes.empty()) {
        char32_t c = 0;
        const std::size_t length = sequence(bytes, c);
        if (length == 0) {
            return false;
        }
        bytes.remove_prefix(length);
    }
    return true;
}

std::u32string codePoints(std::string_view bytes, Encoding encoding) {
    if (encoding == Encoding::Auto) {
        encoding = isUtf8(bytes) ? Encoding::Utf8 : Encoding::Windows1252;
    }
    std::u32string out;
    out.reserve(bytes.size());
    while (!bytes.empty()) {
        const auto lead = static_cast<unsigned char>(bytes.front());
        if (encoding == Encoding::Windows1252) {
            out += lead >= 0x80 && lead < 0xa0 ? kWindows1252High[lead - 0x80] : lead;
            bytes.remove_prefix(1);
            continue;
        }
        char32_t c = 0;
        const std::size_t length = sequence(bytes, c);
        out += length == 0 ? kReplacement : c;
        bytes.remove_prefix(length == 0 ? 1 : length);
    }
    return out;
}

std::string decode(std::string_view bytes, Encoding encoding) {
    // ASCII reads the same in every encoding; most names are.
    if (std::all_of(bytes.begin(), bytes.end(),
                    [](char c) { return static_cast<unsigned char>(c) < 0x80; })) {
        return std::string(bytes);
    }
    if (encoding == Encoding::Auto && isUtf8(bytes)) {
        return std::string(bytes);
    }
    std::string out;
    out.reserve(bytes.size());
    for (const char32_t c : codePoints(bytes, encoding)) {
        append(out, c);
    }
    return out;
}

std::string excerpt(std::string_view text, std::size_t characters) {
    std::size_t end = 0;
    for (std::size_t counted = 0; end < text.size() && counted < characters; ++counted) {
        ++end;
        while (end < text.size() && (static_cast<unsigned char>(text[end]) & 0xc0) == 0x80) {
            ++end;
        }
    }
    return std::string(text.substr(0, end)) + (end < text.size() ? "..." : "");
}

std::string terminalSafe(std::string_view text) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out;
    out.reserve(text.size());
    while (!text.empty()) {
        char32_t c = 0;
        std::size_t length = sequence(text, c);
        if (length == 0) {
            // Not UTF-8 after all: the byte is shown by its value.
            c = static_cast<unsigned char>(text.front());
            out += "\\x";
            out += kHex[c >> 4];
            out += kHex[c & 0xf];
            text.remove_prefix(1);
            continue;
        }
        if (c < 0x20 || c == 0x7f) {
            out += "\\x";
            out += kHex[c >> 4];
            out += kHex[c & 0xf];
        } else if ((c >= 0x80 && c < 0xa0) || turnsText(c)) {
            out += "\\u";
            for (int shift = 12; shift >= 0; shift -= 4) {
                out += kHex[(c >> shift) & 0xf];
            }
        } else {
            out.append(text.substr(0, length));
        }
        text.remove_prefix(length);
    }
    return out;
}

} // namespace text
