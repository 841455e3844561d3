// Every object of the real 3DS files that has mapping coordinates gives each
// corner of each face, in the POV-Ray mesh file, its vertex's coordinates
// from the file. The file is walked here on its own, apart from the reader.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "run_binary.hpp"

namespace fs = std::filesystem;

namespace {

// What the file holds of one named object's mesh.
struct file_object {
    std::size_t vertices = 0;
    std::vector<std::uint32_t> faces;  // three vertex numbers a face
    std::vector<float> uv;             // two a texture vertex
};

std::uint32_t u16_at(const std::string& d, std::size_t at) {
    return at + 2 <= d.size() ? static_cast<std::uint8_t>(d[at]) | static_cast<std::uint8_t>(d[at + 1]) << 8 : 0;
}
std::uint32_t u32_at(const std::string& d, std::size_t at) {
    return u16_at(d, at) | u16_at(d, at + 2) << 16;
}

// The chunks of [begin, end): the containers descended, the mesh chunks of
// each named object kept (the well-formed files of the corpus only).
void walk(const std::string& d, std::size_t begin, std::size_t end, std::vector<file_object>& objects) {
    for (std::size_t at = begin; at + 6 <= end;) {
        const std::uint32_t id = u16_at(d, at), length = u32_at(d, at + 2);
        if (length < 6 || at + length > end) return;
        const std::size_t body = at + 6, stop = at + length;
        if (id == 0x4D4D || id == 0x3D3D || id == 0x4100) walk(d, body, stop, objects);
        if (id == 0x4000) {
            objects.emplace_back();
            std::size_t name_end = d.find('\0', body);
            if (name_end != std::string::npos && name_end < stop) walk(d, name_end + 1, stop, objects);
        }
        if (!objects.empty() && id == 0x4110) objects.back().vertices = u16_at(d, body);
        if (!objects.empty() && id == 0x4120) {
            objects.back().faces.clear();
            const std::uint32_t n = u16_at(d, body);
            for (std::uint32_t j = 0; j < n && body + 2 + 8 * j + 6 <= stop; ++j)
                for (int k = 0; k < 3; ++k) objects.back().faces.push_back(u16_at(d, body + 2 + 8 * j + 2 * k));
        }
        if (!objects.empty() && id == 0x4140) {
            objects.back().uv.clear();
            const std::uint32_t n = u16_at(d, body);
            for (std::uint32_t i = 0; i < 2 * n && body + 2 + 4 * i + 4 <= stop; ++i)
                objects.back().uv.push_back(std::bit_cast<float>(u32_at(d, body + 2 + 4 * i)));
        }
        at = stop;
    }
}

// One mesh2 of the .inc: its sections' items as written.
struct inc_mesh {
    std::vector<std::string> uv_vectors;
    std::vector<std::string> face_indices, uv_indices;  // "<a,b,c>"
};

std::vector<inc_mesh> read_inc(const std::string& text) {
    std::vector<inc_mesh> meshes;
    std::istringstream lines(text);
    std::vector<std::string>* items = nullptr;
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("#declare ", 0) == 0) meshes.emplace_back();
        if (line.rfind("  ", 0) == 0 && line[2] != ' ') {
            items = nullptr;
            if (line.rfind("  uv_vectors {", 0) == 0) items = &meshes.back().uv_vectors;
            if (line.rfind("  face_indices {", 0) == 0) items = &meshes.back().face_indices;
            if (line.rfind("  uv_indices {", 0) == 0) items = &meshes.back().uv_indices;
        } else if (items != nullptr && line.rfind("    <", 0) == 0) {
            items->push_back(line.substr(4, line.find('>') - 3));
        }
    }
    return meshes;
}

// Whether the written "<u,v>" reads as the file's pair, to the six
// decimals written.
bool same_uv(const std::string& written, float u, float v) {
    double wu = 0, wv = 0;
    if (std::sscanf(written.c_str(), "<%lf,%lf>", &wu, &wv) != 2) return false;
    return std::fabs(wu - u) <= 5.1e-7 * std::fmax(1.0, std::fabs(u)) &&
           std::fabs(wv - v) <= 5.1e-7 * std::fmax(1.0, std::fabs(v));
}

}  // namespace

TEST(CorpusUv, EveryCornerTakesItsVertexsMappingCoordinatesFromTheFile) {
    const fs::path shared = e2e::shared_dir();
    if (shared.empty()) GTEST_SKIP() << "../shared is absent";
    std::size_t objects_checked = 0, corners_checked = 0;
    for (const auto& entry : fs::recursive_directory_iterator(shared / "corpus" / "3ds")) {
        std::string ext = entry.path().extension().string();
        for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (ext != ".3ds") continue;
        const std::string bytes = e2e::read_file(entry.path());
        std::vector<file_object> objects;
        walk(bytes, 0, bytes.size(), objects);
        if (std::none_of(objects.begin(), objects.end(), [](const file_object& o) { return !o.uv.empty(); })) continue;
        SCOPED_TRACE(entry.path().string());
        e2e::temp_dir dir;
        const e2e::result r = e2e::run(dir.path, {"-i", entry.path().string(), "-o", "out", "--format", "pov"});
        ASSERT_EQ(r.exit_code, 1) << r.out;
        const std::vector<inc_mesh> meshes = read_inc(e2e::read_file(dir / "out.mesh.inc"));
        std::size_t m = 0;
        for (const file_object& o : objects) {
            if (o.faces.empty()) continue;
            ASSERT_LT(m, meshes.size());
            const inc_mesh& mesh = meshes[m++];
            const bool usable = o.uv.size() == 2 * o.vertices && o.vertices > 0 &&
                                std::all_of(o.uv.begin(), o.uv.end(), [](float f) { return std::isfinite(f); });
            EXPECT_EQ(!mesh.uv_vectors.empty(), usable);
            if (!usable || mesh.face_indices.size() != o.faces.size() / 3) continue;  // faces removed
            ASSERT_EQ(mesh.uv_indices.size(), mesh.face_indices.size());
            for (std::size_t j = 0; j < mesh.face_indices.size(); ++j) {
                // The corners' uv indices are the face's own vertex indices.
                ASSERT_EQ(mesh.face_indices[j].substr(0, mesh.uv_indices[j].size()), mesh.uv_indices[j]);
                unsigned written[3];
                ASSERT_EQ(std::sscanf(mesh.uv_indices[j].c_str(), "<%u,%u,%u>", &written[0], &written[1], &written[2]),
                          3);
                for (int k = 0; k < 3; ++k) {
                    const std::uint32_t v = o.faces[3 * j + static_cast<std::size_t>(k)];
                    ASSERT_LT(written[k], mesh.uv_vectors.size());
                    ASSERT_TRUE(same_uv(mesh.uv_vectors[written[k]], o.uv[2 * v], o.uv[2 * v + 1]))
                        << mesh.uv_vectors[written[k]] << " for " << o.uv[2 * v] << ", " << o.uv[2 * v + 1]
                        << " at face " << j << " corner " << k;
                    ++corners_checked;
                }
            }
            ++objects_checked;
        }
        EXPECT_EQ(m, meshes.size());
    }
    EXPECT_GT(objects_checked, 50u);
    std::printf("%zu objects, %zu corners checked\n", objects_checked, corners_checked);
}
