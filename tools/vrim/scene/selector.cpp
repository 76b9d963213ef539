#include "tools/vrim/scene/selector.h"

#include <utility>

namespace vrim::scene {

BlockSelector BlockSelector::given(const std::string& address, std::size_t number) {
    BlockSelector selector;
    if (!address.empty()) {
        selector.address(address);
    } else if (number > 0) {
        selector.number(number);
    }
    return selector;
}

BlockSelector& BlockSelector::address(std::string address) {
    addresses_.insert(std::move(address));
    return *this;
}

BlockSelector& BlockSelector::number(std::size_t number) {
    numbers_.insert(number);
    return *this;
}

bool BlockSelector::selects(const Block& block) const {
    return everyBlock() || numbers_.count(block.number) != 0 ||
           addresses_.count(block.address) != 0;
}

} // namespace vrim::scene
