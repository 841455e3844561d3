// Feeding the reader from tests: bytes made with the chunk builder are
// written to a temporary file, then opened as a byte stream or loaded whole.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "app/convert.hpp"
#include "chunk_builder.hpp"
#include "model/scene.hpp"
#include "reader/byte_stream.hpp"
#include "reader/chunk_stream.hpp"
#include "reader/loader.hpp"
#include "testkit/console.hpp"

namespace reader_input {

namespace ch = chunks;
namespace tv = tessvert;

// A file name of its own for every call, inside the test's temporary folder.
inline std::string temp_path() {
    static int counter = 0;
    const auto* info = testing::UnitTest::GetInstance()->current_test_info();
    std::string name = info ? std::string(info->test_suite_name()) + "_" + info->name() : "none";
    for (char& c : name)
        if (c == '/') c = '_';
    return testing::TempDir() + "tessvert_reader_" + name + "_" + std::to_string(++counter) + ".3ds";
}

// A raw chunk header: id and declared length, as the file stores them.
inline ch::bytes header(std::uint16_t id, std::uint32_t length) {
    ch::bytes b;
    ch::append_u16(b, id);
    ch::append_u32(b, length);
    return b;
}

// A byte stream opened on a temporary file that holds `data`.
struct stream_file {
    explicit stream_file(const ch::bytes& data) : path(temp_path()) {
        ch::write_file(path, data);
        opened = tv::open_byte_stream(reader.stream, path);
    }
    ~stream_file() {
        tv::close_byte_stream(reader.stream);
        std::remove(path.c_str());
    }
    stream_file(const stream_file&) = delete;
    stream_file& operator=(const stream_file&) = delete;
    std::string path;
    testkit::recorder console;
    tv::chunk_reader reader{console.report};
    bool opened = false;
};

struct loaded {
    int result = -1;
    tv::scene scene;
    std::string out;   // everything printed
    std::string path;  // the file that was read
};

inline loaded load_bytes(const ch::bytes& data, int compute_normals = 0) {
    loaded l;
    l.path = temp_path();
    ch::write_file(l.path, data);
    l.scene = tv::init_scene();
    // What a conversion reads: the load, the face check and, when asked,
    // the normals.
    tv::run_options options;
    options.input_path = l.path;
    options.triangle_mode = compute_normals == 1 ? 0 : 1;
    testkit::recorder console;
    l.result = tv::read_scene(options, l.scene, console.report) ? 1 : 0;
    l.out = console.text();
    std::remove(l.path.c_str());
    return l;
}

using testkit::lines_with;
using testkit::warning_lines;

}  // namespace reader_input
