// Feeding the reader from tests: bytes made with the chunk builder, read
// from memory as a byte stream or loaded whole, named in.3ds.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "app/convert.hpp"
#include "model/scene.hpp"
#include "reader/byte_stream.hpp"
#include "reader/chunk_stream.hpp"
#include "reader/loader.hpp"
#include "testkit/chunk_builder.hpp"
#include "testkit/console.hpp"
#include "testkit/files.hpp"

namespace reader_input {

namespace ch = chunks;
namespace tv = tessvert;

// A raw chunk header: id and declared length, as the file stores them.
inline ch::bytes header(std::uint16_t id, std::uint32_t length) {
    ch::bytes b;
    ch::append_u16(b, id);
    ch::append_u32(b, length);
    return b;
}

// A byte stream opened on `data`.
struct stream_file {
    explicit stream_file(const ch::bytes& data) : bytes(data) {
        tv::open_byte_buffer(reader.stream, bytes.data(), bytes.size());
        opened = true;
    }
    ~stream_file() { tv::close_byte_stream(reader.stream); }
    stream_file(const stream_file&) = delete;
    stream_file& operator=(const stream_file&) = delete;
    ch::bytes bytes;
    std::string path = "in.3ds";
    testkit::recorder console;
    tv::chunk_reader reader{console.report};
    bool opened = false;
};

struct loaded {
    int result = -1;
    tv::scene scene;
    std::string out;   // everything printed
    std::string path;  // the name of what was read
};

// What a conversion reads with `options` (its input path aside): the load,
// the face materials when asked, the face check and, unless triangle mode
// is on, the normals.
inline loaded load_with(const ch::bytes& data, tv::run_options options) {
    loaded l;
    l.path = "in.3ds";
    l.scene = tv::init_scene();
    options.input_path = l.path;
    testkit::recorder console;
    l.result = tv::read_scene_bytes(options, data, l.scene, console.report) ? 1 : 0;
    l.out = console.text();
    return l;
}

inline loaded load_bytes(const ch::bytes& data, int compute_normals = 0) {
    tv::run_options options;
    options.triangle_mode = compute_normals == 1 ? 0 : 1;
    return load_with(data, options);
}

using testkit::lines_with;
using testkit::warning_lines;

}  // namespace reader_input
