#include "tools/vrim/scene/reader_choice.h"

#include "text/words.h"
#include "tools/vrim/error.h"

#include <cmath>
#include <limits>

namespace vrim::scene {

namespace {

bool wholeFrame(const std::optional<HeaderValue>& value, std::int32_t& frame) {
    if (!value || !value->isNumber || std::trunc(value->number) != value->number ||
        value->number < std::numeric_limits<std::int32_t>::min() ||
        value->number > std::numeric_limits<std::int32_t>::max()) {
        return false;
    }
    frame = static_cast<std::int32_t>(value->number);
    return true;
}

} // namespace

std::string stoppedMessage(const Reader& reader) {
    for (const Problem& problem : reader.problems()) {
        if (problem.stopsReading) {
            return "'" + reader.name() + "'" +
                   (problem.line != 0 ? ":" + std::to_string(problem.line) : std::string()) + ": " +
                   problem.message;
        }
    }
    return "'" + reader.name() + "' could not be read to its end";
}

std::optional<double> headerFps(const Header& header) {
    const std::optional<HeaderValue>& fps = header.framesPerSecond;
    if (fps && fps->isNumber && fps->number > 0.0 && fps->number <= kMaxSceneFps) {
        return fps->number;
    }
    return std::nullopt;
}

std::optional<Frames> headerFrames(const Header& header) {
    Frames frames;
    if (wholeFrame(header.firstFrame, frames.first) && wholeFrame(header.lastFrame, frames.last) &&
        frames.first <= frames.last) {
        return frames;
    }
    return std::nullopt;
}

std::string blockName(const Block& block) {
    return block.address;
}

std::string blockPlace(const std::string& scene, const Block& block) {
    return scene + ", " + block.address + " (block " + std::to_string(block.number) + ", lines " +
           std::to_string(block.whole.firstLine) + "-" + std::to_string(block.whole.lastLine) + ")";
}

void ShakenItems::add(const Block& block) {
    if (!wanted_.empty() && wantedAddress_.empty() && block.item && block.item->name == wanted_ &&
        block.address != wanted_) {
        wantedAddress_ = block.address;
    }
    ++count_;
    if (names_.size() < kListed) {
        names_.push_back(blockName(block));
    }
}

std::string ShakenItems::list() const {
    if (names_.empty()) {
        return "none";
    }
    std::string text;
    for (std::size_t i = 0; i < names_.size(); ++i) {
        const bool last = i + 1 == names_.size() && count_ == names_.size();
        text += (i == 0 ? "" : last ? " and " : ", ") + names_[i];
    }
    if (count_ > names_.size()) {
        text += " and " + std::to_string(count_ - names_.size()) + " more";
    }
    return text;
}

std::string ShakenItems::missing(const std::string& scene) const {
    if (!wantedAddress_.empty()) {
        return "--item '" + wanted_ + "': in " + scene + " that item's block is addressed '" +
               wantedAddress_ + "': past the first " + std::to_string(kMaxDistinctNames) +
               " names of a scene, and for a name that ends like an address, blocks are "
               "addressed NAME@N (as ls lists them)";
    }
    return "--item '" + wanted_ + "': " + scene +
           " has no item of that name with a shake; items with a shake: " + list();
}

std::string notSelected(const BlockSelector& selector, const ShakenItems& shaken,
                        const std::string& scene) {
    if (!selector.addresses().empty()) {
        return shaken.missing(scene);
    }
    const std::string number =
        selector.numbers().empty() ? "" : std::to_string(*selector.numbers().begin());
    return "--block " + number + " is out of range: " + scene + " holds " +
           text::counted(shaken.count(), "key block", "key blocks");
}

PickedBlock pickBlock(Reader& reader, const BlockSelector& selector) {
    std::optional<Block> picked;
    ShakenItems shaken(selector);
    for (Event event = reader.next(); event != Event::End; event = reader.next()) {
        if (event != Event::Block) {
            continue;
        }
        const Block& block = reader.block();
        shaken.add(block);
        if (!picked && selector.selects(block)) {
            picked = block;
        }
    }
    if (reader.stopped()) {
        throw ToolError(stoppedMessage(reader));
    }
    const std::string scene = "'" + reader.name() + "'";
    if (shaken.count() == 0) {
        throw ToolError(scene + " holds no shake: no VRIM_S key block");
    }
    if (!picked) {
        throw ToolError(notSelected(selector, shaken, scene), ErrorKind::NoSuchItem);
    }
    return {std::move(*picked), reader.header()};
}

} // namespace vrim::scene
