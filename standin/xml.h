// Text for SVG pictures the stand-in host and the tool draw.
#pragma once

#include <string>
#include <string_view>

namespace standin {

// text as XML character data or attribute value. Bytes outside printable
// ASCII become '?': scene and label text need not be valid UTF-8.
std::string escapeXml(std::string_view text);

} // namespace standin
