#include "writers/common/text_block.hpp"

#include <algorithm>
#include <utility>

namespace tessvert {

void make_room(std::unique_ptr<char[]>& data, std::size_t& capacity, std::size_t used, std::size_t room) {
    constexpr std::size_t least_room = std::size_t{1} << 16;
    if (capacity - used >= room) return;
    const std::size_t grown_capacity = std::max({2 * capacity, used + room, least_room});
    auto grown = std::make_unique_for_overwrite<char[]>(grown_capacity);
    if (used > 0) std::memcpy(grown.get(), data.get(), used);
    data = std::move(grown);
    capacity = grown_capacity;
}

}  // namespace tessvert
