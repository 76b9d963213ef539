// What a command takes from a scene: the defaults its header gives, and the
// key block the user picked by item name or by number.
#pragma once

#include "plugin/vocabulary.h"
#include "tools/vrim/scene/scene.h"
#include "tools/vrim/scene/selector.h"

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace vrim::scene {

// The frame rate of keys, and of a scene that states none.
constexpr double kDefaultFps = kKeyFrameRate;
// Above this a frame rate is a mistake.
constexpr double kMaxSceneFps = 1000.0;

// The scene's frame rate when its header states a usable one.
std::optional<double> headerFps(const Header& header);

// The scene's frames, both ends inclusive, when its header states both ends
// as whole 32-bit frames in order.
struct Frames {
    std::int32_t first = 0;
    std::int32_t last = 0;
};
std::optional<Frames> headerFrames(const Header& header);

// The picked block, with the scene's header as read to the end of the file.
struct PickedBlock {
    Block block;
    Header header;
};

// Reads the scene to its end and hands back the one block the selector
// names (by address or by number; a selector of every block takes the
// first). Throws vrim::ToolError when the scene holds no block, a problem
// stopped the reading, the number is out of range, or the address is no
// block's (the message lists the blocks' addresses).
PickedBlock pickBlock(Reader& reader, const BlockSelector& selector);

// Why the reader stopped before the end, with the file and line.
std::string stoppedMessage(const Reader& reader);

// The block's address, for messages and titles: "NAME", "NAME@N" or "@N".
std::string blockName(const Block& block);
// "path, ShotCam (block 2, lines 40-66)": where a block is, for people.
std::string blockPlace(const std::string& scene, const Block& block);

// Names of items with a shake for a message, the first few and a count of
// the rest.
class ShakenItems {
  public:
    // wanted: the --item looked for, if any, to notice a block of that name
    // addressed otherwise.
    explicit ShakenItems(std::string wanted = "") : wanted_(std::move(wanted)) {}
    // The same for a selector of one address.
    explicit ShakenItems(const BlockSelector& selector)
        : ShakenItems(selector.addresses().size() == 1 ? *selector.addresses().begin() : "") {}
    void add(const Block& block);
    std::string list() const; // "ShotCam, Camera_Rig and 3 more"; "none" when empty
    std::size_t count() const { return count_; }
    // Why --item found no block: the items with a shake, or the address of
    // the wanted name's block when it is addressed NAME@N.
    std::string missing(const std::string& scene) const;

  private:
    static constexpr std::size_t kListed = 12;
    std::vector<std::string> names_;
    std::size_t count_ = 0;
    std::string wanted_;
    std::string wantedAddress_; // the first block named wanted_, addressed otherwise
};

// Why a selector of one address or one number selected no block of a scene
// ("'path'"): the items with a shake, or how many blocks the scene holds.
std::string notSelected(const BlockSelector& selector, const ShakenItems& shaken,
                        const std::string& scene);

} // namespace vrim::scene
