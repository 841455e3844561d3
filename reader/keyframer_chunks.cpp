// The keyframer's nodes (0xB000 > 0xB001 .. 0xB007): what each object node
// shows, each node's id and parent, and the first key of its position,
// rotation and scale tracks. The nodes of the ambient light, cameras, lights
// and their targets share the object nodes' numbering: a node without an id
// is numbered by its place among all of them.
//
// The keyframer's payload is taken in as a whole, exactly as a skipped
// chunk's bytes would be, and its chunks are read from memory: whatever
// their lengths claim, they cannot reach past the keyframer, so the chunks
// after it are read as they were before the keyframer was understood.
#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "reader/chunk_ids.hpp"
#include "reader/handlers.hpp"

namespace tessvert {

namespace {

// Keyframer bytes kept, and nodes kept over a load; the rest is read past.
// Real files hold a few hundred bytes per node and at most thousands of
// nodes; the bounds keep a hostile keyframer's nodes to a few tens of MB.
constexpr std::uint32_t max_keyframer_bytes = std::uint32_t{16} << 20;
constexpr std::size_t max_nodes = std::size_t{1} << 18;
constexpr std::uint32_t take_block = std::uint32_t{64} << 10;

// Bytes of a chunk's payload in memory.
struct bytes_view {
    const unsigned char* data = nullptr;
    std::size_t size = 0;
};

// Calls handle(id, payload) for each chunk in `block`; a chunk whose length
// runs past the block is cut at its end, and one shorter than its header
// ends the block.
template <typename Handle>
void each_chunk(bytes_view block, Handle&& handle) {
    std::size_t at = 0;
    while (block.size - at >= 6) {
        const std::uint16_t id = load_u16(block.data + at);
        const std::uint32_t length = load_u32(block.data + at + 2);
        if (length < 6) return;
        const std::size_t end = std::min<std::size_t>(block.size, at + std::size_t{length});
        handle(id, bytes_view{block.data + at + 6, end - at - 6});
        at = end;
    }
}

// A NUL-terminated name from the start of `b`, the first `max_keep`
// characters kept; returns the bytes after its terminator (none when it
// has none).
std::size_t take_name(bytes_view b, std::string& name, std::size_t max_keep) {
    std::size_t n = 0;
    while (n < b.size && b.data[n] != 0) ++n;
    name.assign(reinterpret_cast<const char*>(b.data), std::min(n, max_keep));
    return n < b.size ? n + 1 : n;
}

// The node header: the name of the mesh it shows, two flag words, the
// parent's node id.
void read_node_header(bytes_view b, keyframe_node& node) {
    const std::size_t at = take_name(b, node.name, object_name_max);
    if (b.size - at >= 6) node.parent = load_u16(b.data + at + 4);
}

// The value of a track's first key into `value` (`n` floats); false when
// the track has no key or ends inside it. A track is a header (flags, 8
// bytes, the key count), then per key its frame, spline flags and one
// float for each flag among tension, continuity, bias, ease to and ease
// from, then the value.
bool read_first_key(bytes_view b, float* value, std::size_t n) {
    constexpr std::size_t header = 14;
    if (b.size < header || load_u32(b.data + 10) == 0) return false;
    if (b.size - header < 6) return false;
    const unsigned extra =
        static_cast<unsigned>(std::popcount(static_cast<unsigned>(load_u16(b.data + header + 4)) & 0x1Fu));
    const std::size_t at = header + 6 + 4 * std::size_t{extra};
    if (b.size < at + 4 * n) return false;
    for (std::size_t i = 0; i < n; ++i) value[i] = load_f32(b.data + at + 4 * i);
    return true;
}

void read_vec3(bytes_view b, vec3& v) {
    if (b.size < 12) return;
    v = {load_f32(b.data), load_f32(b.data + 4), load_f32(b.data + 8)};
}

void parse_node(bytes_view payload, bool object, scene& s) {
    keyframe_node node;
    node.object = object;
    bool has_header = false;
    each_chunk(payload, [&](std::uint16_t id, bytes_view b) {
        switch (id) {
        case chunk_id::node_header:
            read_node_header(b, node);
            has_header = true;
            break;
        case chunk_id::instance_name:
            take_name(b, node.instance_name, object_name_max);
            break;
        case chunk_id::node_id:
            if (b.size >= 2) node.id = load_u16(b.data);
            break;
        case chunk_id::pivot:
            read_vec3(b, node.pivot);
            break;
        case chunk_id::position_track: {
            float v[3];
            if (read_first_key(b, v, 3)) node.position = {v[0], v[1], v[2]};
            break;
        }
        case chunk_id::rotation_track:
            read_first_key(b, node.rotation.data(), 4);
            break;
        case chunk_id::scale_track: {
            float v[3];
            if (read_first_key(b, v, 3)) node.scale = {v[0], v[1], v[2]};
            break;
        }
        default:
            break;  // bounding box, morph smoothing, hide track, ...
        }
    });
    // A node without a header names nothing and is no one's parent by
    // name; its place in the list still counts for parents without ids.
    if (!has_header) node.name = dummy_node_name;
    s.nodes.push_back(std::move(node));
}

void parse_keyframer(bytes_view payload, scene& s) {
    each_chunk(payload, [&](std::uint16_t id, bytes_view b) {
        if (id >= chunk_id::ambient_node && id <= chunk_id::spot_light_node && s.nodes.size() < max_nodes)
            parse_node(b, id == chunk_id::object_node, s);
    });
}

}  // namespace

void read_keyframer(chunk_reader& r, scene& s, chunk_header& h) {
    // Taken in blocks as the file delivers them: a length that claims more
    // than the file holds allocates no more than the file holds.
    std::vector<unsigned char> payload;
    while (remaining(h) > 0 && payload.size() < max_keyframer_bytes) {
        const std::size_t had = payload.size();
        const std::uint32_t want =
            std::min({remaining(h), take_block, max_keyframer_bytes - static_cast<std::uint32_t>(had)});
        payload.resize(had + want);
        const std::uint32_t got = read_counted(r, h, payload.data() + had, want);
        payload.resize(had + got);
        if (got < want) break;
    }
    skip_chunk(r, h);
    parse_keyframer(bytes_view{payload.data(), payload.size()}, s);
}

}  // namespace tessvert
