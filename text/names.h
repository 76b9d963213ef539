// Names as scene files spell them: the bytes of a name decoded to UTF-8
// (the host writes UTF-8, or Windows-1252 on Western Windows systems), and
// names made safe to print on a terminal.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace text {

enum class Encoding {
    Auto,        // UTF-8 when the bytes are valid UTF-8, else Windows-1252
    Utf8,        // invalid sequences become U+FFFD
    Windows1252, // every byte one character
};

// "auto", "utf-8" (also "utf8"), "windows-1252" (also "cp1252", "latin1");
// case does not matter. Nothing for any other text.
std::optional<Encoding> parseEncoding(std::string_view text);
const char* encodingName(Encoding encoding);

// The bytes are well-formed UTF-8: no overlong forms, no surrogates, nothing
// past U+10FFFF.
bool isUtf8(std::string_view bytes);

// The bytes decoded as the encoding says, as UTF-8. Auto keeps valid UTF-8
// byte for byte.
std::string decode(std::string_view bytes, Encoding encoding);

// UTF-8 text for a terminal: every control character (C0, DEL and C1) shown
// as an escape that prints as it reads: "\x1b", "\t" as "\x09", U+0085 as
// "\u0085". Everything else, non-ASCII included, as it is.
std::string terminalSafe(std::string_view text);

} // namespace text
