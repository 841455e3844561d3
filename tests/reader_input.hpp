// Feeding the reader from tests: bytes made with the chunk builder are
// written to a temporary file, then opened as a byte stream or loaded whole.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "chunk_builder.hpp"
#include "model/scene.hpp"
#include "reader/byte_stream.hpp"
#include "reader/chunk_stream.hpp"
#include "reader/loader.hpp"

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
    tv::chunk_reader reader;
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
    testing::internal::CaptureStdout();
    l.result = tv::load_scene_file(l.scene, l.path, compute_normals);
    l.out = testing::internal::GetCapturedStdout();
    std::remove(l.path.c_str());
    return l;
}

// The console lines that begin with `prefix`.
inline std::vector<std::string> lines_with(const std::string& out, const std::string& prefix) {
    std::vector<std::string> found;
    std::istringstream in(out);
    for (std::string line; std::getline(in, line);)
        if (line.rfind(prefix, 0) == 0) found.push_back(line);
    return found;
}

inline std::vector<std::string> warning_lines(const std::string& out) {
    return lines_with(out, " Warning: ");
}

}  // namespace reader_input
