// Small readings of one scene line's words, for the scene reader.
#pragma once

#include "text/words.h"

#include <string>
#include <string_view>

namespace vrim::scene {

// The words of a line, blank- or tab-separated, one at a time.
class Words {
  public:
    explicit Words(std::string_view text) : text_(text) {}
    // The next word; empty when none is left.
    std::string_view next() { return text::takeWord(text_); }
    // What follows the words taken so far, without blanks around it.
    std::string_view rest() const { return text::trimBlanks(text_); }

  private:
    std::string_view text_;
};

// The text, blanks around it aside, as one decimal number as a scene file
// writes it, nan and inf included: what the module should read from it,
// against which the reader judges what it does read. Not a user's number
// (text/numbers.h reads those).
bool parseDecimal(std::string_view text, double& value);

// rest without a leading item ID ("10000002 Null" gives "Null"): eight hex
// digits followed by more text.
std::string_view withoutId(std::string_view rest);

// An object's name: its file's name without folder ('/' or '\') and without
// extension.
std::string objectName(std::string_view path);

// Scene text decoded as names are, for messages (UTF-8; escaped only where
// it is printed on a terminal).
std::string printable(std::string_view text);

} // namespace vrim::scene
