// The plug-in's words, named once: the labels of its key editor's controls,
// the rate at which keys turn frames into seconds, the size of one line it
// reads or writes, and the lines that open and close its key block. The
// module is built from them; the tool and the tests speak to it in them. The
// stand-in host knows none of them: whoever drives the module passes them.
#pragma once

#include <cstddef>

namespace vrim {

// The key editor's controls, by label (the host finds a control by it).
namespace label {
constexpr const char* kFreqTime = "Freqency Time";
constexpr const char* kWidth = "Freq Width X,Y,Z";
constexpr const char* kStartFrame = "StartFrame";
constexpr const char* kEndFrame = "EndFrame";
constexpr const char* kFallOff = "FallOff";
constexpr const char* kAddKey = "ADD KEY";
constexpr const char* kNextKey = "NEXT KEY";
constexpr const char* kPrevKey = "PREV KEY";
constexpr const char* kDeleteKey = "DELETE KEY";
constexpr const char* kKeyNumber = "KEY_NO";
constexpr const char* kKeyList = "Key List";
} // namespace label

// Keys turn their frames into seconds at this rate, whatever the scene's own
// rate: stored scenes depend on it.
constexpr double kKeyFrameRate = 30.0;

// The characters of one scene line the module reads or writes; the rest of a
// longer line is cut off.
constexpr std::size_t kLineChars = 255;

// The lines that open and close a key block in a scene file.
constexpr const char* kBlockStart = "VRIM_START";
constexpr const char* kBlockEnd = "VRIM_END";

} // namespace vrim
