// The chunk stream: the reading operations called
// directly on a byte stream, and the byte accounting, version warning, end of
// file and nesting limit seen through the loader.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "model/scene.hpp"
#include "reader/byte_stream.hpp"
#include "reader/chunk_stream.hpp"
#include "reader/loader.hpp"
#include "reader_input.hpp"
#include "testkit/chunk_builder.hpp"

namespace ch = chunks;
namespace tv = tessvert;
using namespace reader_input;

namespace {

// A chunk given byte by byte: header with the declared length, then payload.
ch::bytes raw_chunk(std::uint16_t id, std::uint32_t length, const ch::bytes& payload) {
    return ch::cat({header(id, length), payload});
}

ch::bytes filler(std::size_t n, std::uint8_t value = 0xEE) {
    return ch::bytes(n, value);
}

// The primary chunk around raw bytes, its length computed.
ch::bytes primary_bytes(const ch::bytes& body) {
    return ch::cat({header(0x4D4D, static_cast<std::uint32_t>(6 + body.size())), body});
}

ch::bytes nested_editors(std::size_t depth, const ch::bytes& inner) {
    return ch::nested(0x3D3D, depth, inner);
}

std::size_t warning_count(const std::string& out) {
    return testkit::count_warnings(out);
}
std::size_t eof_warning_count(const std::string& out) {
    return testkit::count_warnings(out, "the file ends");
}
std::size_t depth_warning_count(const std::string& out) {
    return testkit::count_warnings(out, "chunks nested deeper");
}
std::size_t version_warning_count(const std::string& out) {
    return lines_with(out, " This 3DS file is over version 3 so it may load incorrectly").size();
}

const char* const version_warning = " This 3DS file is over version 3 so it may load incorrectly\n";

using ch::named_material;

// A material entry that holds only a name.
ch::bytes named_material_bytes(const std::string& name) {
    return ch::serialize(named_material(name));
}

}  // namespace

// ---------------------------------------------------------------------------
// The reading operations, called directly.

TEST(ChunkStreamOps, HeaderIsIdAndLengthWithWhatWasDeliveredCounted) {
    {  // header reads id and length little endian
        stream_file f({0x34, 0x12, 0x78, 0x56, 0x34, 0x12});
        ASSERT_TRUE(f.opened);
        tv::chunk_header h;
        tv::read_chunk_header(f.reader, h);
        EXPECT_EQ(h.id, 0x1234);
        EXPECT_EQ(h.length, 0x12345678u);
        EXPECT_EQ(h.consumed, 6u);
        EXPECT_FALSE(f.reader.stream.ended);
    }
    {  // header cut by end of file counts what was delivered
        stream_file f({0x4D, 0x4D, 0x10});
        tv::chunk_header h;
        tv::read_chunk_header(f.reader, h);
        EXPECT_EQ(h.consumed, 3u);
        EXPECT_TRUE(f.reader.stream.ended);
        tv::read_chunk_header(f.reader, h);
        EXPECT_EQ(h.consumed, 0u);
    }
}

TEST(ChunkStreamOps, UnrecognisedChunkOfLength20ConsumesExactly14PayloadBytes) {
    stream_file f(ch::cat({raw_chunk(0x7777, 20, filler(14)), header(0x1111, 6)}));
    tv::chunk_header h;
    tv::read_chunk_header(f.reader, h);
    tv::skip_chunk(f.reader, h);
    EXPECT_EQ(h.consumed, 20u);
    tv::chunk_header next;
    tv::read_chunk_header(f.reader, next);
    EXPECT_EQ(next.id, 0x1111);
    EXPECT_EQ(next.length, 6u);
    EXPECT_FALSE(f.reader.stream.ended);
}

TEST(ChunkStreamOps, SkipCountsLengthsBelowSixAsSixAndReadsNothingPastTheEnd) {
    {  // lengths zero to five count as six
        for (std::uint32_t length = 0; length <= 5; ++length) {
            SCOPED_TRACE(length);
            stream_file f(ch::cat({header(0x7777, length), header(0x1111, 6)}));
            tv::chunk_header h;
            tv::read_chunk_header(f.reader, h);
            tv::skip_chunk(f.reader, h);
            EXPECT_EQ(h.consumed, 6u);
            tv::chunk_header next;
            tv::read_chunk_header(f.reader, next);
            EXPECT_EQ(next.id, 0x1111);
        }
    }
    {  // skip reads nothing when consumed is past length
        stream_file f(header(0x1111, 6));
        tv::chunk_header h{0x7777, 10, 18};
        tv::skip_chunk(f.reader, h);
        EXPECT_EQ(h.consumed, 18u);
        tv::chunk_header next;
        tv::read_chunk_header(f.reader, next);
        EXPECT_EQ(next.id, 0x1111);
    }
}

TEST(ChunkStreamOps, LengthsAreComparedUnsigned) {
    // 0xFFFFFFFF and 0x80000006 are huge, not negative: the skip reads on
    // to the end of the file and counts what it got.
    for (std::uint32_t length : {0xFFFFFFFFu, 0x80000006u}) {
        SCOPED_TRACE(length);
        stream_file f(raw_chunk(0x7777, length, filler(10)));
        tv::chunk_header h;
        tv::read_chunk_header(f.reader, h);
        tv::skip_chunk(f.reader, h);
        EXPECT_EQ(h.consumed, 16u);
        EXPECT_TRUE(f.reader.stream.ended);
        EXPECT_EQ(tv::remaining(h), length - 16u);
    }
}

TEST(ChunkStreamOps, ReadFixedZeroFillsWhatTheFileDoesNotDeliver) {
    stream_file f({1, 2, 3, 4, 5});
    tv::chunk_header h{0x4700, 38, 6};
    unsigned char raw[12];
    std::memset(raw, 0xAB, sizeof raw);
    tv::read_fixed(f.reader, h, raw, 12);
    EXPECT_EQ(h.consumed, 11u);
    const unsigned char expected[12] = {1, 2, 3, 4, 5, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(std::memcmp(raw, expected, 12), 0);
    EXPECT_TRUE(f.reader.stream.ended);
}

// The bytes read_string takes from the file, as it counts them in the chunk.
std::uint32_t string_bytes(tv::chunk_reader& r, std::string& s, std::size_t max_keep) {
    tv::chunk_header h;
    tv::read_string(r, h, s, max_keep);
    return h.consumed;
}

TEST(ChunkStreamOps, ReadStringReadsUpToTheNulAndCountsIt) {
    {  // read string reads up to the nul and counts it
        stream_file f(ch::cat({ch::cstr("abc"), header(0x1111, 6)}));
        std::string s = "old";
        EXPECT_EQ(string_bytes(f.reader, s, 255), 4u);
        EXPECT_EQ(s, "abc");
        tv::chunk_header next;
        tv::read_chunk_header(f.reader, next);
        EXPECT_EQ(next.id, 0x1111);
    }
    {  // read string of just a nul returns one
        stream_file f({0, 0x11, 0x11});
        std::string s = "old";
        EXPECT_EQ(string_bytes(f.reader, s, 255), 1u);
        EXPECT_EQ(s, "");
    }
}

TEST(ChunkStreamOps, ReadStringStopsAtEndOfFile) {
    stream_file f({'a', 'b', 'c'});
    std::string s;
    EXPECT_EQ(string_bytes(f.reader, s, 255), 3u);
    EXPECT_EQ(s, "abc");
    EXPECT_TRUE(f.reader.stream.ended);
    EXPECT_EQ(string_bytes(f.reader, s, 255), 0u);
    EXPECT_EQ(s, "");
}

TEST(ChunkStreamOps, ReadStringLongerThanFieldKeepsPrefixAndReadsTheRest) {
    std::string long_name(300, 'x');
    for (std::size_t i = 0; i < long_name.size(); ++i) long_name[i] = static_cast<char>('a' + i % 26);
    stream_file f(ch::cat({ch::cstr(long_name), header(0x1111, 6)}));
    std::string s;
    EXPECT_EQ(string_bytes(f.reader, s, 255), 301u);
    EXPECT_EQ(s, long_name.substr(0, 255));
    tv::chunk_header next;
    tv::read_chunk_header(f.reader, next);
    EXPECT_EQ(next.id, 0x1111);
}

TEST(ChunkStreamOps, ReadPayloadKeepsCapacityAndDiscardsTheRest) {
    {  // read payload keeps capacity and discards the rest
        stream_file f(ch::cat({raw_chunk(0x7777, 16, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10}), header(0x1111, 6)}));
        tv::chunk_header h;
        tv::read_chunk_header(f.reader, h);
        unsigned char dst[8];
        std::memset(dst, 0xAB, sizeof dst);
        EXPECT_EQ(tv::read_payload(f.reader, h, dst, 4), 4u);
        EXPECT_EQ(h.consumed, 16u);
        const unsigned char expected[8] = {1, 2, 3, 4, 0xAB, 0xAB, 0xAB, 0xAB};
        EXPECT_EQ(std::memcmp(dst, expected, 8), 0);
        tv::chunk_header next;
        tv::read_chunk_header(f.reader, next);
        EXPECT_EQ(next.id, 0x1111);
    }
    {  // read payload shorter than capacity stores what there is
        stream_file f(ch::cat({raw_chunk(0x7777, 9, {1, 2, 3}), header(0x1111, 6)}));
        tv::chunk_header h;
        tv::read_chunk_header(f.reader, h);
        unsigned char dst[12];
        std::memset(dst, 0xAB, sizeof dst);
        EXPECT_EQ(tv::read_payload(f.reader, h, dst, 12), 3u);
        EXPECT_EQ(h.consumed, 9u);
        EXPECT_EQ(dst[2], 3);
        EXPECT_EQ(dst[3], 0xAB);
        tv::chunk_header next;
        tv::read_chunk_header(f.reader, next);
        EXPECT_EQ(next.id, 0x1111);
    }
    {  // read payload reads nothing for a chunk read to its end
        stream_file f(header(0x1111, 6));
        tv::chunk_header h{0x7777, 4, 6};
        unsigned char dst[4] = {9, 9, 9, 9};
        EXPECT_EQ(tv::read_payload(f.reader, h, dst, 4), 0u);
        EXPECT_EQ(h.consumed, 6u);
        EXPECT_EQ(dst[0], 9);
        tv::chunk_header next;
        tv::read_chunk_header(f.reader, next);
        EXPECT_EQ(next.id, 0x1111);
    }
}

TEST(ChunkStreamOps, ReadPayloadTextEndsAtNulOrPayloadEndAndKeeps254Bytes) {
    {  // read payload text ends at nul or at payload end
        // With a NUL and garbage after it; without a NUL at all.
        stream_file f(ch::cat({raw_chunk(0xA000, 13, {'a', 'b', 0, 'z', 'z', 'z', 'z'}),
                               raw_chunk(0xA000, 9, {'c', 'd', 'e'}), header(0x1111, 6)}));
        tv::chunk_header h;
        std::string s = "old";
        tv::read_chunk_header(f.reader, h);
        tv::read_payload_text(f.reader, h, s, tv::material_name_max);
        EXPECT_EQ(s, "ab");
        EXPECT_EQ(h.consumed, 13u);
        tv::read_chunk_header(f.reader, h);
        tv::read_payload_text(f.reader, h, s, tv::material_name_max);
        EXPECT_EQ(s, "cde");
        EXPECT_EQ(h.consumed, 9u);
        tv::read_chunk_header(f.reader, h);
        EXPECT_EQ(h.id, 0x1111);
    }
    {  // read payload text longer than field keeps254 bytes
        std::string long_name(400, 'm');
        long_name[253] = 'X';
        long_name[254] = 'Y';
        ch::bytes payload = ch::cstr(long_name);
        stream_file f(
            ch::cat({raw_chunk(0xA000, static_cast<std::uint32_t>(6 + payload.size()), payload), header(0x1111, 6)}));
        tv::chunk_header h;
        std::string s;
        tv::read_chunk_header(f.reader, h);
        tv::read_payload_text(f.reader, h, s, tv::material_name_max);
        EXPECT_EQ(s.size(), 254u);
        EXPECT_EQ(s, long_name.substr(0, 254));
        EXPECT_EQ(h.consumed, 6u + 401u);
        tv::read_chunk_header(f.reader, h);
        EXPECT_EQ(h.id, 0x1111);
    }
}

TEST(ChunkStreamOps, ReadSubchunkReadsOneSubchunkKeepsCapacityAndCreditsTheEnclosingChunk) {
    {  // read subchunk reads one whole subchunk and credits the enclosing chunk
        stream_file f(ch::cat({ch::serialize(ch::color24(1, 2, 3)), ch::serialize(ch::color24(4, 5, 6))}));
        tv::chunk_header enclosing{0xA020, 24, 6};
        unsigned char target[12] = {};
        EXPECT_EQ(tv::read_subchunk(f.reader, target, 12, enclosing), 3u);
        EXPECT_EQ(enclosing.consumed, 15u);
        EXPECT_EQ(f.reader.secondary_header.id, 0x0011);
        EXPECT_EQ(f.reader.secondary_header.consumed, 9u);
        EXPECT_EQ(target[0], 1);
        EXPECT_EQ(target[2], 3);
        // Only one sub-chunk: the second is still in the file.
        tv::chunk_header next;
        tv::read_chunk_header(f.reader, next);
        EXPECT_EQ(next.id, 0x0011);
        EXPECT_EQ(next.length, 9u);
    }
    {  // read subchunk discards payload beyond capacity
        ch::bytes payload;
        for (int i = 0; i < 40; ++i) payload.push_back(static_cast<std::uint8_t>(i + 1));
        stream_file f(ch::cat({raw_chunk(0x0010, 46, payload), header(0x1111, 6)}));
        tv::chunk_header enclosing{0xA020, 52, 6};
        unsigned char target[16];
        std::memset(target, 0xAB, sizeof target);
        EXPECT_EQ(tv::read_subchunk(f.reader, target, 12, enclosing), 12u);
        EXPECT_EQ(enclosing.consumed, 52u);
        EXPECT_EQ(target[11], 12);
        EXPECT_EQ(target[12], 0xAB);
        tv::chunk_header next;
        tv::read_chunk_header(f.reader, next);
        EXPECT_EQ(next.id, 0x1111);
    }
}

TEST(ChunkStreamOps, MayDescendBelowTheLimitOnlyAndWarnsOnce) {
    testkit::recorder console;
    tv::chunk_reader r{console.report};
    EXPECT_TRUE(tv::may_descend(r, 1));
    EXPECT_TRUE(tv::may_descend(r, tv::max_level - 1));
    EXPECT_FALSE(tv::may_descend(r, tv::max_level));
    EXPECT_FALSE(tv::may_descend(r, tv::max_level + 40));
    std::string out = console.text();
    EXPECT_EQ(tv::max_level, 256);
    EXPECT_EQ(warning_count(out), 1u) << out;
    EXPECT_EQ(depth_warning_count(out), 1u) << out;
}

// ---------------------------------------------------------------------------
// Accounting seen through the loader.

TEST(ChunkStreamAccounting, UnrecognisedChunkOfLength20IsSkippedAndTheNextChunkRead) {
    loaded l = load_bytes(primary_bytes(ch::cat({raw_chunk(0x7777, 20, filler(14, 0xAF)), named_material_bytes("A")})));
    ASSERT_EQ(l.result, 1);
    ASSERT_EQ(l.scene.material_count(), 1);
    EXPECT_EQ(l.scene.materials.at(0).name, "A");
    EXPECT_EQ(warning_count(l.out), 0u) << l.out;
}

TEST(ChunkStreamAccounting, ChunksWithLengthBelowSixCountAsSixAtEveryLevel) {
    for (std::uint32_t length = 0; length <= 5; ++length) {
        SCOPED_TRACE(length);
        // At main level, at material level and at object level.
        ch::chunk mat = ch::material({ch::material_name("M")});
        mat.payload = header(0x7777, length);
        ch::chunk obj = ch::named_object("o", {ch::vertex_list({{1, 2, 3}})});
        obj.payload = ch::cat({ch::cstr("o"), header(0x7777, length)});
        ch::bytes body = ch::cat({header(0x7777, length), ch::serialize(ch::editor({mat, obj}))});
        loaded l = load_bytes(primary_bytes(body));
        ASSERT_EQ(l.result, 1);
        ASSERT_EQ(l.scene.material_count(), 1);
        EXPECT_EQ(l.scene.materials.at(0).name, "M");
        ASSERT_EQ(l.scene.object_count(), 1);
        EXPECT_EQ(l.scene.objects.at(0).vertex_count(), 1);
        EXPECT_EQ(warning_count(l.out), 0u) << l.out;
    }
}

TEST(ChunkStreamAccounting, OverReadPastADeclaredEndIsCountedAndTheParentCarriesOn) {
    // The named object declares its end right after the camera's header; the
    // camera still reads its 32 bytes of fixed data beyond that end, and the
    // editor goes on with the material after them.
    ch::chunk obj = ch::named_object("cam", {ch::camera({1, 2, 3}, {4, 5, 6}, 7, 50)});
    obj.length = 6 + 4 + 6;
    loaded l = load_bytes(ch::serialize(ch::primary({ch::editor({obj, named_material("After")})})));
    ASSERT_EQ(l.result, 1);
    ASSERT_EQ(l.scene.camera_count(), 1);
    EXPECT_EQ(l.scene.cameras.at(0).lens, 50.0f);
    EXPECT_EQ(l.scene.cameras.at(0).target.z, 6.0f);
    ASSERT_EQ(l.scene.material_count(), 1);
    EXPECT_EQ(l.scene.materials.at(0).name, "After");
    EXPECT_EQ(warning_count(l.out), 0u) << l.out;
}

TEST(ChunkStreamAccounting, ParentLengthAboveTwoGigabytesIsComparedUnsigned) {
    // A primary chunk of declared length 0x80000000 still has its children
    // read; the file then ends inside it.
    ch::bytes body = named_material_bytes("A");
    loaded l = load_bytes(ch::cat({header(0x4D4D, 0x80000000u), body}));
    ASSERT_EQ(l.result, 1);
    ASSERT_EQ(l.scene.material_count(), 1);
    EXPECT_EQ(l.scene.materials.at(0).name, "A");
    EXPECT_EQ(eof_warning_count(l.out), 1u) << l.out;
}

TEST(ChunkStreamAccounting, ChildOfLengthFFFFFFFFSwallowsTheRestOfTheFile) {
    ch::bytes body =
        ch::cat({named_material_bytes("A"), raw_chunk(0x7777, 0xFFFFFFFFu, filler(3)), named_material_bytes("B")});
    loaded l = load_bytes(primary_bytes(body));
    ASSERT_EQ(l.result, 1);
    ASSERT_EQ(l.scene.material_count(), 1);
    EXPECT_EQ(l.scene.materials.at(0).name, "A");
    EXPECT_EQ(eof_warning_count(l.out), 1u) << l.out;
    EXPECT_EQ(warning_count(l.out), 1u) << l.out;
}

TEST(ChunkStreamAccounting, OnlyThePrimaryChunkIsRead) {
    ch::bytes data =
        ch::cat({ch::serialize(ch::primary({named_material("In")})), named_material_bytes("Out"), filler(7)});
    loaded l = load_bytes(data);
    ASSERT_EQ(l.result, 1);
    ASSERT_EQ(l.scene.material_count(), 1);
    EXPECT_EQ(l.scene.materials.at(0).name, "In");
    EXPECT_EQ(warning_count(l.out), 0u) << l.out;
}

TEST(ChunkStreamAccounting, NothingPastThePrimaryChunksDeclaredEndIsRead) {
    // The primary chunk ends 12 bytes into the camera's 32 bytes of fixed
    // data; the file holds the rest, which is never read: the camera keeps
    // its position and zeros for the rest, and a warning says why.
    ch::bytes whole = ch::serialize(ch::primary({ch::named_object("cam", {ch::camera({1, 2, 3}, {4, 5, 6}, 7, 50)})}));
    const std::uint32_t cut = static_cast<std::uint32_t>(whole.size() - 32 + 12);
    whole[2] = static_cast<std::uint8_t>(cut);
    loaded l = load_bytes(whole);
    ASSERT_EQ(l.result, 1);
    ASSERT_EQ(l.scene.camera_count(), 1);
    EXPECT_EQ(l.scene.cameras.at(0).position.z, 3.0f);
    EXPECT_EQ(l.scene.cameras.at(0).target.x, 0.0f);
    EXPECT_EQ(l.scene.cameras.at(0).lens, 0.0f);
    EXPECT_EQ(testkit::count_warnings(l.out, "runs past the declared end of the primary chunk"), 1u) << l.out;
    EXPECT_EQ(warning_count(l.out), 1u) << l.out;
}

TEST(ChunkStreamAccounting, CountsDoNotWrapAtFourGigabytes) {
    // A parent of the largest length that has been read up to 3 bytes before
    // its end: the next child's header takes its count past 2^32, which ends
    // the level instead of wrapping to a small number.
    stream_file f(ch::cat({named_material_bytes("A"), named_material_bytes("B")}));
    ASSERT_TRUE(f.opened);
    tv::chunk_header parent;
    parent.length = 0xFFFFFFFFu;
    parent.consumed = 0xFFFFFFFCu;
    int children = 0;
    tv::read_children(f.reader, parent, [&](tv::chunk_header&) {
        ++children;
        return false;
    });
    EXPECT_EQ(children, 1);
    EXPECT_EQ(parent.consumed, 0xFFFFFFFCu + named_material_bytes("A").size());
}

// ---------------------------------------------------------------------------
// The version chunk 0x0002.

namespace {

std::string load_version_output(const ch::bytes& version_payload) {
    ch::chunk v = ch::make(0x0002, version_payload);
    loaded l = load_bytes(ch::serialize(ch::primary({v, named_material("after")})));
    EXPECT_EQ(l.result, 1);
    EXPECT_EQ(l.scene.material_count(), 1);
    if (l.scene.material_count() == 1) {
        EXPECT_EQ(l.scene.materials.at(0).name, "after");
    }
    EXPECT_EQ(warning_count(l.out), 0u) << l.out;
    return l.out;
}

}  // namespace

TEST(ChunkStreamVersion, VersionThreeOrLow16BitsAtMostThreeGiveNoWarning) {
    {  // version three gives no warning
        EXPECT_EQ(version_warning_count(load_version_output({3, 0, 0, 0})), 0u);
        EXPECT_EQ(version_warning_count(load_version_output({3, 0, 1, 0})), 0u);
        EXPECT_EQ(version_warning_count(load_version_output({0, 0, 0, 0})), 0u);
    }
    {  // only the low16 bits are compared
        EXPECT_EQ(version_warning_count(load_version_output({3, 0, 0xFF, 0xFF})), 0u);
        EXPECT_EQ(version_warning_count(load_version_output({0, 1, 0, 0})), 1u);  // 256
    }
}

TEST(ChunkStreamVersion, VersionAboveThreeWarnsOncePerChunkAndReadingGoesOn) {
    {  // version four warns exactly once and reading goes on
        ch::chunk v = ch::version(4);
        loaded l = load_bytes(ch::serialize(ch::primary({v, named_material("after")})));
        ASSERT_EQ(l.result, 1);
        EXPECT_EQ(l.out, "\n Reading " + l.path + "...\n" + version_warning);
        ASSERT_EQ(l.scene.material_count(), 1);
        EXPECT_EQ(l.scene.materials.at(0).name, "after");
    }
    {  // warning is printed once per version chunk
        loaded l = load_bytes(ch::serialize(
            ch::primary({ch::version(4), ch::editor({ch::version(5), ch::version(3)}), ch::version(0x10)})));
        ASSERT_EQ(l.result, 1);
        EXPECT_EQ(version_warning_count(l.out), 3u) << l.out;
    }
}

TEST(ChunkStreamVersion, ShortPayloadCountsMissingBytesAsZero) {
    EXPECT_EQ(version_warning_count(load_version_output({})), 0u);
    EXPECT_EQ(version_warning_count(load_version_output({3})), 0u);
    EXPECT_EQ(version_warning_count(load_version_output({4})), 1u);
    EXPECT_EQ(version_warning_count(load_version_output({3, 0})), 0u);
    EXPECT_EQ(version_warning_count(load_version_output({9, 0, 7, 7, 7, 7, 7, 7, 7})), 1u);
}

// ---------------------------------------------------------------------------
// End of file inside a chunk: the load succeeds with what was read, one
// warning line, and never loops.

namespace {

ch::bytes truncation_scene() {
    ch::chunk mat = ch::material(
        {ch::material_name("Red"), ch::diffuse(ch::color24(200, 10, 10)), ch::texture_map({ch::map_name("red.png")})});
    ch::chunk box = ch::named_object(
        "box",
        {ch::triangle_mesh({ch::vertex_list({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}}),
                            ch::face_list({{0, 1, 2}, {0, 2, 3}, {0, 1, 3}}, {ch::material_group("Red", {0, 1, 2})}),
                            ch::mapping_coords({{0, 0}, {1, 0}, {0, 1}, {1, 1}})})});
    ch::chunk lamp =
        ch::named_object("lamp", {ch::light({5, 5, 5}, {ch::color_float(1, 1, 1), ch::spotlight({0, 0, 0}, 30, 40)})});
    ch::chunk cam = ch::named_object("cam", {ch::camera({10, 10, 10}, {0, 0, 0}, 0, 35)});
    return ch::serialize(ch::primary({ch::version(3), ch::editor({mat, box, lamp, cam}), ch::make(0xB000, filler(8))}));
}

}  // namespace

TEST(ChunkStreamEndOfFile, EveryCutPointLoadsWithExactlyOneWarning) {
    const ch::bytes full = truncation_scene();
    loaded whole = load_bytes(full);
    ASSERT_EQ(whole.result, 1);
    ASSERT_EQ(warning_count(whole.out), 0u) << whole.out;
    ASSERT_EQ(whole.scene.object_count(), 3);
    for (std::size_t cut = 6; cut < full.size(); ++cut) {
        SCOPED_TRACE(cut);
        loaded l = load_bytes(ch::bytes(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(cut)));
        ASSERT_EQ(l.result, 1);
        EXPECT_EQ(eof_warning_count(l.out), 1u) << l.out;
        EXPECT_EQ(warning_count(l.out), 1u) << l.out;
        EXPECT_LE(l.scene.object_count(), 3);
        EXPECT_LE(l.scene.material_count(), 1);
        EXPECT_LE(l.scene.light_count(), 1);
        EXPECT_LE(l.scene.camera_count(), 1);
    }
}

TEST(ChunkStreamEndOfFile, WhatWasReadBeforeTheEndIsKept) {
    // The file ends inside the second vertex of an object in a mesh in an
    // object in the editor: the first material and the first vertex stay.
    ch::chunk mat = named_material("First");
    ch::chunk obj = ch::named_object("o", {ch::triangle_mesh({ch::vertex_list({{1, 2, 3}, {4, 5, 6}})})});
    ch::bytes full = ch::serialize(ch::primary({ch::editor({mat, obj})}));
    ch::bytes cut(full.begin(), full.end() - 6);  // 6 bytes of the second vertex remain
    loaded l = load_bytes(cut, 1);
    ASSERT_EQ(l.result, 1);
    ASSERT_EQ(l.scene.material_count(), 1);
    EXPECT_EQ(l.scene.materials.at(0).name, "First");
    ASSERT_EQ(l.scene.object_count(), 1);
    EXPECT_EQ(l.scene.objects.at(0).name, "o");
    ASSERT_EQ(l.scene.objects.at(0).vertex_count(), 2);
    EXPECT_EQ(l.scene.objects.at(0).vertices.at(0).z, 3.0f);
    EXPECT_EQ(l.scene.objects.at(0).vertices.at(1).y, 0.0f);
    EXPECT_EQ(eof_warning_count(l.out), 1u) << l.out;
    EXPECT_NE(l.out.find(" Computing normals...\n"), std::string::npos);

    // The file ends 4 bytes into the second face: only the first face stays.
    ch::chunk tri = ch::named_object(
        "t", {ch::vertex_list({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}), ch::face_list({{0, 1, 2}, {2, 1, 0}})});
    ch::bytes tri_full = ch::serialize(ch::primary({tri}));
    loaded t = load_bytes(ch::bytes(tri_full.begin(), tri_full.end() - 4), 1);
    ASSERT_EQ(t.result, 1);
    ASSERT_EQ(t.scene.object_count(), 1);
    EXPECT_EQ(t.scene.objects.at(0).face_count(), 1);
    ASSERT_EQ(t.scene.objects.at(0).faces.size(), 1u);
    EXPECT_EQ(t.scene.objects.at(0).faces.at(0).c, 2u);
    EXPECT_EQ(eof_warning_count(t.out), 1u) << t.out;
    EXPECT_EQ(warning_count(t.out), 1u) << t.out;
}

TEST(ChunkStreamEndOfFile, FileEndingAtAChildBoundaryInsideTheParentWarnsOnce) {
    ch::bytes full = ch::serialize(ch::primary({ch::editor({named_material("A"), named_material("B")})}));
    ch::bytes cut(full.begin(), full.end() - static_cast<std::ptrdiff_t>(named_material_bytes("B").size()));
    loaded l = load_bytes(cut);
    ASSERT_EQ(l.result, 1);
    ASSERT_EQ(l.scene.material_count(), 1);
    EXPECT_EQ(l.scene.materials.at(0).name, "A");
    EXPECT_EQ(eof_warning_count(l.out), 1u) << l.out;
    EXPECT_EQ(warning_count(l.out), 1u) << l.out;
}

TEST(ChunkStreamEndOfFile, ACutHeaderAppendsNoRecord) {
    // The file ends two bytes into the header of a material entry, of a named
    // object and of a light: the id is there but the header is not, so no
    // material, object or light is appended for it.
    ch::bytes base = ch::cat({header(0x4D4D, 1000), header(0x3D3D, 900), named_material_bytes("A")});
    for (std::uint16_t id : {std::uint16_t{0xAFFF}, std::uint16_t{0x4000}, std::uint16_t{0x3D3D}}) {
        SCOPED_TRACE(id);
        ch::bytes data = ch::cat({base, ch::u16(id)});
        loaded l = load_bytes(data);
        ASSERT_EQ(l.result, 1);
        EXPECT_EQ(l.scene.material_count(), 1);
        EXPECT_EQ(l.scene.object_count(), 0);
        EXPECT_EQ(eof_warning_count(l.out), 1u) << l.out;
    }
    ch::bytes lamp = ch::cat({header(0x4D4D, 1000), header(0x4000, 900), ch::cstr("lamp"),
                              ch::serialize(ch::light({1, 2, 3})), ch::u16(0x4600), ch::bytes{1}});
    loaded l = load_bytes(lamp);
    ASSERT_EQ(l.result, 1);
    EXPECT_EQ(l.scene.object_count(), 1);
    EXPECT_EQ(l.scene.light_count(), 1);
    EXPECT_EQ(eof_warning_count(l.out), 1u) << l.out;
}

TEST(ChunkStreamEndOfFile, ACutLightSubchunkHeaderChangesNothing) {
    // A light with a 24-bit colour, then only the id of a float colour
    // sub-chunk before the file ends: the light keeps its 24-bit colour and
    // is not marked as having a float colour; a cut light-off id sets no flag.
    for (std::uint16_t id : {std::uint16_t{0x0010}, std::uint16_t{0x4620}, std::uint16_t{0x4610}}) {
        SCOPED_TRACE(id);
        ch::bytes data =
            ch::cat({header(0x4D4D, 1000), header(0x4000, 900), ch::cstr("lamp"), header(0x4600, 800),
                     ch::f32s({1, 2, 3}), ch::serialize(ch::color24(10, 20, 30)), ch::u16(id), ch::bytes{0x20}});
        loaded l = load_bytes(data);
        ASSERT_EQ(l.result, 1);
        ASSERT_EQ(l.scene.light_count(), 1);
        const tv::light& lt = l.scene.lights.at(0);
        EXPECT_EQ(lt.color24[0], 10);
        EXPECT_EQ(lt.color24[2], 30);
        EXPECT_EQ(lt.has_float_color, 0);
        EXPECT_EQ(lt.is_off, 0);
        EXPECT_EQ(lt.is_spot, 0);
        EXPECT_EQ(eof_warning_count(l.out), 1u) << l.out;
    }
}

TEST(ChunkStreamEndOfFile, EmptyOrHeaderOnlyFilesNeverLoop) {
    // Primary chunk that declares more than it holds, at several depths.
    std::vector<ch::bytes> files = {
        header(0x4D4D, 100),
        ch::cat({header(0x4D4D, 100), header(0x3D3D, 90)}),
        ch::cat({header(0x4D4D, 100), header(0x3D3D, 90), header(0x4000, 80), ch::bytes{'a'}}),
        ch::cat({header(0x4D4D, 100), header(0x3D3D, 90), header(0x4000, 80), ch::cstr("a"), header(0x4100, 60),
                 header(0x4110, 50), ch::u16(3)}),
        ch::cat({header(0x4D4D, 100), header(0xAFFF, 90), header(0xA200, 80), header(0xA300, 70), ch::bytes{'m'}}),
        ch::cat({header(0x4D4D, 100), header(0xAFFF, 90), header(0xA020, 80), header(0x0010, 70), ch::bytes{1, 2}}),
        ch::cat({header(0x4D4D, 100), header(0x4000, 90), ch::cstr("l"), header(0x4600, 70), ch::f32s({1, 2, 3}),
                 header(0x4610, 40), ch::f32s({1})}),
    };
    for (std::size_t i = 0; i < files.size(); ++i) {
        SCOPED_TRACE(i);
        loaded l = load_bytes(files[i]);
        ASSERT_EQ(l.result, 1);
        EXPECT_EQ(eof_warning_count(l.out), 1u) << l.out;
        EXPECT_EQ(warning_count(l.out), 1u) << l.out;
    }
}

// ---------------------------------------------------------------------------
// Nesting limit: the primary chunk's children are level 1; a chunk that opens
// a level met at level 256 is skipped whole, with one warning line.

TEST(ChunkStreamDepth, EditorsNestedToTheLimitAreRead) {
    // 255 editors: the innermost stands at level 255 and is descended, so the
    // version chunk at level 256 is read (and warns).
    loaded l = load_bytes(primary_bytes(nested_editors(255, ch::serialize(ch::version(4)))));
    ASSERT_EQ(l.result, 1);
    EXPECT_EQ(version_warning_count(l.out), 1u) << l.out;
    EXPECT_EQ(depth_warning_count(l.out), 0u) << l.out;

    // 254 editors: a material entry at level 255 is read, its name chunk at
    // level 256 included.
    loaded m = load_bytes(primary_bytes(nested_editors(254, named_material_bytes("deep"))));
    ASSERT_EQ(m.result, 1);
    ASSERT_EQ(m.scene.material_count(), 1);
    EXPECT_EQ(m.scene.materials.at(0).name, "deep");
    EXPECT_EQ(warning_count(m.out), 0u) << m.out;
}

TEST(ChunkStreamDepth, OneLevelDeeperIsSkippedWholeWithOneWarning) {
    // A material entry at level 256 is skipped whole: no record, one warning,
    // and the material after the nest is read from the right place.
    ch::bytes too_deep = ch::cat({named_material_bytes("too deep"),
                                  ch::serialize(ch::named_object("also too deep", {ch::vertex_list({{1, 1, 1}})})),
                                  ch::serialize(ch::editor({named_material("inside")}))});
    ch::bytes body = ch::cat({nested_editors(255, too_deep), named_material_bytes("after")});
    loaded l = load_bytes(primary_bytes(body));
    ASSERT_EQ(l.result, 1);
    ASSERT_EQ(l.scene.material_count(), 1);
    EXPECT_EQ(l.scene.materials.at(0).name, "after");
    EXPECT_EQ(l.scene.object_count(), 0);
    EXPECT_EQ(depth_warning_count(l.out), 1u) << l.out;
    EXPECT_EQ(warning_count(l.out), 1u) << l.out;
}

TEST(ChunkStreamDepth, AnEditorAtLevel256IsSkippedWithItsContents) {
    ch::bytes inner = ch::serialize(ch::named_object("hidden", {ch::vertex_list({{1, 1, 1}})}));
    ch::bytes body = ch::cat({nested_editors(256, inner), named_material_bytes("after")});
    loaded l = load_bytes(primary_bytes(body));
    ASSERT_EQ(l.result, 1);
    EXPECT_EQ(l.scene.object_count(), 0);
    ASSERT_EQ(l.scene.material_count(), 1);
    EXPECT_EQ(l.scene.materials.at(0).name, "after");
    EXPECT_EQ(depth_warning_count(l.out), 1u) << l.out;
    EXPECT_EQ(warning_count(l.out), 1u) << l.out;
}

TEST(ChunkStreamDepth, ObjectAndMaterialLevelsCountTowardsTheLimit) {
    // A named object at level 255: its children stand at level 256, where a
    // triangle mesh and a light are skipped (no light appended) while a
    // vertex list and a camera, which open no level, are read.
    ch::chunk obj = ch::named_object("o", {ch::triangle_mesh({ch::vertex_list({{9, 9, 9}})}), ch::light({1, 2, 3}),
                                           ch::vertex_list({{1, 2, 3}}), ch::camera({1, 1, 1}, {2, 2, 2}, 0, 42)});
    // A material at level 255: its texture map at level 256 is skipped, a map
    // name directly under it is read.
    ch::chunk mat = ch::material(
        {ch::material_name("m"), ch::texture_map({ch::map_name("skipped.png")}), ch::map_name("direct.png")});
    loaded l = load_bytes(primary_bytes(nested_editors(254, ch::cat({ch::serialize(obj), ch::serialize(mat)}))));
    ASSERT_EQ(l.result, 1);
    ASSERT_EQ(l.scene.object_count(), 1);
    EXPECT_EQ(l.scene.objects.at(0).vertex_count(), 1);
    EXPECT_EQ(l.scene.objects.at(0).vertices.at(0).x, 1.0f);
    EXPECT_EQ(l.scene.light_count(), 0);
    ASSERT_EQ(l.scene.camera_count(), 1);
    EXPECT_EQ(l.scene.cameras.at(0).lens, 42.0f);
    ASSERT_EQ(l.scene.material_count(), 1);
    EXPECT_EQ(l.scene.materials.at(0).map_name, "direct.png");
    EXPECT_EQ(depth_warning_count(l.out), 1u) << l.out;
    EXPECT_EQ(warning_count(l.out), 1u) << l.out;
}

TEST(ChunkStreamDepth, VeryDeepNestingDoesNotOverflowTheStack) {
    ch::bytes body = ch::cat({nested_editors(200000, named_material_bytes("x")), named_material_bytes("after")});
    loaded l = load_bytes(primary_bytes(body));
    ASSERT_EQ(l.result, 1);
    ASSERT_EQ(l.scene.material_count(), 1);
    EXPECT_EQ(l.scene.materials.at(0).name, "after");
    EXPECT_EQ(depth_warning_count(l.out), 1u);
}

TEST(ChunkStreamDepth, DeepTextureMapsCountLevels) {
    // Texture maps nested inside a material: material at level 1, map k at
    // level k + 1. The map name inside map 254 (level 255) is read; map 255
    // (level 256) is skipped whole.
    auto nested_maps = [](int depth, const std::string& name) {
        ch::chunk c = ch::map_name(name);
        for (int i = 0; i < depth; ++i) c = ch::texture_map({c});
        return c;
    };
    loaded ok = load_bytes(ch::serialize(ch::primary({ch::material({nested_maps(254, "in.png")})})));
    ASSERT_EQ(ok.scene.material_count(), 1);
    EXPECT_EQ(ok.scene.materials.at(0).map_name, "in.png");
    EXPECT_EQ(warning_count(ok.out), 0u) << ok.out;

    loaded deep = load_bytes(
        ch::serialize(ch::primary({ch::material({nested_maps(255, "out.png"), ch::material_name("still read")})})));
    ASSERT_EQ(deep.scene.material_count(), 1);
    EXPECT_EQ(deep.scene.materials.at(0).map_name, "");
    EXPECT_EQ(deep.scene.materials.at(0).name, "still read");
    EXPECT_EQ(depth_warning_count(deep.out), 1u) << deep.out;
}
