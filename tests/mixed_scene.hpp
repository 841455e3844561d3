// A scene for the tests of the mesh file made in parts and on several
// threads: one object far larger than a part, with material groups that
// overlap and smoothing groups that change across it, objects without
// faces, an object that loses faces to the face checks, and small objects
// between big ones.
#pragma once

#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include "testkit/chunk_builder.hpp"

namespace mixed {

using namespace chunks;

// A w x h grid of cells (2 faces each) whose faces are in the material
// groups Red (bands of columns), Blue (every third row; later, so it wins)
// and Nowhere (no such material), some in none, with smoothing masks in
// bands of columns, some of two bits, some 0; mapping coordinates 0..1
// across it.
inline chunk sheet(const std::string& name, int w, int h) {
    std::vector<xyz> v;
    for (int j = 0; j <= h; ++j)
        for (int i = 0; i <= w; ++i) v.push_back({i * 0.37f - 3.1f, j * 0.29f, 0.4f * std::sin(0.3f * i + 0.2f * j)});
    std::vector<abc> f;
    std::vector<std::uint16_t> red, blue, nowhere;
    bytes masks;
    const auto at = [w](int i, int j) { return static_cast<std::uint16_t>(j * (w + 1) + i); };
    for (int j = 0; j < h; ++j)
        for (int i = 0; i < w; ++i)
            for (int k = 0; k < 2; ++k) {
                const auto n = static_cast<std::uint16_t>(f.size());
                f.push_back(k == 0 ? abc{at(i, j), at(i + 1, j), at(i + 1, j + 1)}
                                   : abc{at(i, j), at(i + 1, j + 1), at(i, j + 1)});
                if ((i / 10) % 2 == 0) red.push_back(n);
                if (j % 3 == 0) blue.push_back(n);
                if (i % 7 == 3) nowhere.push_back(n);
                const std::uint32_t band = 1u << ((i / 15) % 3);
                append_u32(masks, i % 29 == 28 ? 0u : i % 15 == 14 ? band | band << 1 : band);
            }
    // Mapping coordinates spread the image once over the sheet.
    std::vector<std::pair<float, float>> uv;
    for (int j = 0; j <= h; ++j)
        for (int i = 0; i <= w; ++i) uv.emplace_back(static_cast<float>(i) / w, static_cast<float>(j) / h);
    return named_object(name,
                        {triangle_mesh({vertex_list(v), mapping_coords(uv),
                                        face_list(f, {material_group("Red", red), material_group("Blue", blue),
                                                      material_group("Nowhere", nowhere), make(0x4150, masks)})})});
}

// An object with a face that names a missing vertex and one with a NaN
// corner: both are removed, each with a warning.
inline chunk torn(const std::string& name) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    return named_object(name, {triangle_mesh({vertex_list({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {nan, 1, 1}, {1, 1, 0.5f}}),
                                              face_list({{0, 1, 2}, {1, 9, 2}, {1, 3, 2}, {1, 4, 2}})})});
}

// 14 400 faces in a sheet of its own, enough for 7 threads, then about 800
// more in six objects.
inline bytes scene_bytes() {
    return serialize(primary({editor({
        material({material_name("Red"), diffuse(color24(255, 0, 0))}),
        material({material_name("Blue"), diffuse(color24(0, 0, 255))}),
        named_object("Eye", {camera({30, -20, 15}, {0, 5, 0}, 0, 35)}),
        sheet("Sheet", 120, 60),
        named_object("Lamp", {light({5, 5, 9})}),
        torn("Torn"),
        box_object("Box", {-1, -1, -1}, {1, 2, 0.5f}, "Blue"),
        grid_object("Strip", 30, 12, 2.5f, "Red"),
        named_object("Empty", {triangle_mesh({})}),
        sheet("Patch", 9, 2),
    })}));
}

}  // namespace mixed
