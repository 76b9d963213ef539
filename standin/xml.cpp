#include "standin/xml.h"

namespace standin {

std::string escapeXml(std::string_view text) {
    std::string out;
    for (char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        default: {
            const auto byte = static_cast<unsigned char>(c);
            out += (byte < 0x20 || byte > 0x7e) ? '?' : c;
        }
        }
    }
    return out;
}

} // namespace standin
