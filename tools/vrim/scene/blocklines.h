// What the module makes of each line of a key block. Whether a line ends the
// block, starts a key or sets a key's value the tool does not decide: it
// loads the line through the module inside a small block whose key holds
// known values and looks at what changed. It does name two things itself:
// the keywords of that probe block, and "KEY_NUM", a line the module reads
// for its number only, which the tool finds with the module's own token
// comparison.
#pragma once

#include "standin/scene_io.h"
#include "tools/vrim/module/session.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace vrim {

enum class LineEffect {
    None,         // the module skips the line (or only takes its number for later lines)
    EndsBlock,    // the module stops reading the block here
    AddsKey,      // a new key starts here
    SetsKeyField, // a value of the current key
};

// The value of a key that a line sets, as the probe sees it change.
enum class KeyField { None, FreqTime, WidthX, WidthY, WidthZ, StartFrame, EndFrame, FallOff };

struct LineMeaning {
    LineEffect effect = LineEffect::None;
    KeyField field = KeyField::None; // for SetsKeyField
};

class LineProbe {
  public:
    explicit LineProbe(Session& session);
    // What the line does inside a block, right after a key's values. token
    // is the line's keyword as the module's line reader gives it.
    LineMeaning meaning(const std::string& line, std::string_view token);
    // Lets go of the meanings kept, but those of the probe block's own
    // keywords, and of the probe block's keys.
    void forget();

  private:
    LineMeaning probe(const std::string& line);
    Session& session_;
    ShakeInstance* probe_; // reloaded for every probe
    // The probe block for each of its two bases, the probed line put in.
    std::array<std::vector<std::string>, 2> blocks_;
    // The module picks what a line does by its keyword token; the number
    // after it only gives the value. Scene files repeat the same few
    // keywords with ever other numbers, so meanings are kept by token (for
    // lines the module reads whole), up to a bound.
    std::unordered_map<std::string, LineMeaning> known_;
    // The meanings of the probe block's own keywords, which nearly every
    // block uses: learned once, never forgotten, so that a checker that
    // forgets after every scene does not probe them again for each.
    std::unordered_map<std::string, LineMeaning> keywords_;
    std::string key_; // the token looked up, kept to spare an allocation per line
};

// How the module read one block.
struct BlockReading {
    std::size_t linesRead = 0;         // block lines the module read, "VRIM_START" included
    std::vector<LineEffect> effects;   // one per line read; the opening line counts as None
    std::vector<KeyField> fields;      // one per line read: the value a SetsKeyField line sets
    std::vector<std::size_t> keyLines; // index into the block's lines of each key's first line
    // Indexes of the block's "KEY_NUM" lines, and the number of the last one
    // as the module reads it. The module counts the keys it builds instead,
    // so only these lines show what the file claims.
    std::vector<std::size_t> keyNumLines;
    int32_t keyNum = 0;
};

// Loads a key block's lines (what the host hands the module) into instance
// and reads every line the module read.
BlockReading readBlock(Session& session, LineProbe& probe, ShakeInstance* instance,
                       const std::vector<std::string>& lines);

} // namespace vrim
