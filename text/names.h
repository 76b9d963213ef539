// Names as scene files spell them, and the one rule for showing their bytes:
// a name is decoded from UTF-8, else Windows-1252 (the host writes UTF-8, or
// Windows-1252 on Western Windows systems), and every output holds its own
// characters where it can; a terminal gets a visible escape instead of a
// character that would act on it (terminalSafe), HTML gets code points it
// escapes itself (codePoints).
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

// The bytes are well-formed UTF-8: no overlong forms, no surrogates, nothing
// past U+10FFFF.
bool isUtf8(std::string_view bytes);

// The bytes decoded as the encoding says, as UTF-8. Auto keeps valid UTF-8
// byte for byte.
std::string decode(std::string_view bytes, Encoding encoding);

// The same bytes as Unicode code points, for writers that escape characters
// themselves (HTML). A NUL byte is code point 0: nothing is cut.
std::u32string codePoints(std::string_view bytes, Encoding encoding = Encoding::Auto);

// The first characters of UTF-8 text, "..." after them when there are more:
// a long scene line quoted in a message. A character is never split.
std::string excerpt(std::string_view text, std::size_t characters);

// UTF-8 text for a terminal: every control character (C0, DEL and C1) shown
// as an escape that prints as it reads: "\x1b", "\t" as "\x09", U+0085 as
// "\u0085"; so are the characters that turn the text around it
// (bidirectional controls: U+202E as "\u202e") and the byte-order mark
// U+FEFF, which are invisible and make a name read as another. A byte that is
// not UTF-8 shows as "\xNN". Everything else, non-ASCII included, as it is.
std::string terminalSafe(std::string_view text);

} // namespace text
