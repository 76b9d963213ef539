// Which key blocks of a scene a command works on: the one rule that check,
// show, ls, preview, bake, report, edit and the library all choose by.
#pragma once

#include "tools/vrim/scene/scene.h"

#include <cstddef>
#include <set>
#include <string>

namespace vrim::scene {

// A block is selected when its address (what --item takes: "NAME", or
// "NAME@N") or its number from 1 (what --block takes) is one asked for; a
// selector that asks for none selects every block. Addresses and numbers
// are each one block's, so a scene holds at most one block per entry.
class BlockSelector {
  public:
    BlockSelector() = default; // every block

    // --item and --block as a command takes them: the address when given,
    // else the number when above 0, else every block.
    static BlockSelector given(const std::string& address, std::size_t number);

    BlockSelector& address(std::string address);
    BlockSelector& number(std::size_t number);

    bool everyBlock() const { return addresses_.empty() && numbers_.empty(); }
    bool selects(const Block& block) const;

    // In order: the order missing ones are told in.
    const std::set<std::string>& addresses() const { return addresses_; }
    const std::set<std::size_t>& numbers() const { return numbers_; }

  private:
    std::set<std::string> addresses_;
    std::set<std::size_t> numbers_;
};

} // namespace vrim::scene
