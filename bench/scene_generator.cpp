#include "bench/scene_generator.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

namespace tessvert_bench {

namespace {

using chunks::abc;
using chunks::xyz;

// Per face, beside the faces: the material (0 to 3, of the groups kind)
// and the smoothing mask.
struct mesh {
    std::vector<xyz> vertices;
    std::vector<abc> faces;
    std::vector<std::uint8_t> materials;
    std::vector<std::uint32_t> masks;
    void add(abc f, std::uint8_t material, std::uint32_t mask) {
        faces.push_back(f);
        materials.push_back(material);
        masks.push_back(mask);
    }
};

// A small deterministic generator, so that every run builds the same file.
struct jitter {
    std::uint64_t state;
    // Uniform in [-amplitude, amplitude).
    double next(double amplitude) {
        state = state * 6364136223846793005ULL + 1442695040888963407ULL;
        double unit = static_cast<double>(state >> 11) * (1.0 / 9007199254740992.0);
        return (2.0 * unit - 1.0) * amplitude;
    }
};

xyz point(double x, double y, double z) {
    return xyz{static_cast<float>(x), static_cast<float>(y), static_cast<float>(z)};
}

std::uint16_t index16(std::uint32_t i) {
    return static_cast<std::uint16_t>(i);
}

// Where object `k` sits, so that the objects do not overlap.
void object_origin(int k, double& ox, double& oy) {
    ox = (k % 8) * 531.173 - 1873.29;
    oy = (k / 8) * 487.619 - 1511.07;
}

// A wavy height field of cols x rows cells, two faces a cell, sharing the
// vertices of neighbouring cells; the last row may be cut short.
mesh make_grid(int k, std::uint32_t face_target) {
    const auto cols = static_cast<std::uint32_t>(std::ceil(std::sqrt(face_target / 2.0)));
    const std::uint32_t rows = (face_target + 2 * cols - 1) / (2 * cols);
    double ox, oy;
    object_origin(k, ox, oy);
    const double step = 2.71828 + 0.0137 * k;
    jitter j{0x9E3779B97F4A7C15ULL ^ static_cast<std::uint64_t>(k)};
    mesh m;
    m.vertices.reserve((cols + 1) * (rows + 1));
    for (std::uint32_t r = 0; r <= rows; ++r) {
        for (std::uint32_t c = 0; c <= cols; ++c) {
            double x = ox + c * step + j.next(0.0371);
            double y = oy + r * step + j.next(0.0371);
            double z = 13.7 * std::sin(0.1731 * c + 0.37 * k) + 9.1 * std::cos(0.1213 * r) + j.next(0.113);
            m.vertices.push_back(point(x, y, z));
        }
    }
    m.faces.reserve(face_target);
    const std::uint32_t stride = cols + 1;
    for (std::uint32_t r = 0; r < rows && m.faces.size() < face_target; ++r) {
        for (std::uint32_t c = 0; c < cols && m.faces.size() < face_target; ++c) {
            std::uint32_t v00 = r * stride + c, v10 = v00 + 1, v01 = v00 + stride, v11 = v01 + 1;
            // Materials in patches; smoothing groups in bands of 16 columns,
            // the first column of a band also in the band before.
            const auto material = static_cast<std::uint8_t>((r / 20 + c / 24) % 3);
            const std::uint32_t band = (c / 16) % 4;
            const std::uint32_t mask = (1u << band) | (c % 16 == 0 ? 1u << ((band + 3) % 4) : 0u);
            m.add(abc{index16(v00), index16(v10), index16(v11), 7}, material, mask);
            if (m.faces.size() < face_target) m.add(abc{index16(v00), index16(v11), index16(v01), 7}, material, mask);
        }
    }
    return m;
}

// A latitude-longitude sphere: a pole, rings of `slices` vertices, the other
// pole; fans at the poles and two faces a quad between rings.
mesh make_sphere(int k, std::uint32_t face_target) {
    const auto bands = static_cast<std::uint32_t>(std::ceil(std::sqrt(face_target / 4.0))) + 1;
    const std::uint32_t rings = bands - 1;
    const std::uint32_t slices = std::max<std::uint32_t>(3, (face_target + 2 * rings - 1) / (2 * rings));
    double ox, oy;
    object_origin(k, ox, oy);
    const double radius = 97.3141 + 1.71 * k;
    const double cx = ox + 250.0, cy = oy + 250.0, cz = 31.4159;
    const double pi = 3.14159265358979323846;
    jitter j{0xD1B54A32D192ED03ULL ^ static_cast<std::uint64_t>(k)};
    mesh m;
    m.vertices.reserve(2 + rings * slices);
    m.vertices.push_back(point(cx, cy, cz + radius));
    for (std::uint32_t r = 1; r <= rings; ++r) {
        double theta = pi * r / bands;
        for (std::uint32_t s = 0; s < slices; ++s) {
            double phi = 2.0 * pi * s / slices;
            double rr = radius + j.next(0.0917);
            m.vertices.push_back(point(cx + rr * std::sin(theta) * std::cos(phi),
                                       cy + rr * std::sin(theta) * std::sin(phi), cz + rr * std::cos(theta)));
        }
    }
    const std::uint32_t south = static_cast<std::uint32_t>(m.vertices.size());
    m.vertices.push_back(point(cx, cy, cz - radius));

    auto ring = [slices](std::uint32_t r, std::uint32_t s) { return 1 + (r - 1) * slices + s % slices; };
    // Materials by quarter of the slices; smoothing groups by third of the
    // bands (hard edges at two latitudes), each half of the slices with a
    // bit of its own besides.
    auto add = [&](std::uint32_t band, std::uint32_t s, std::uint32_t a, std::uint32_t b, std::uint32_t c) {
        if (m.faces.size() >= face_target) return;
        const auto material = static_cast<std::uint8_t>(4 * s / slices);
        const std::uint32_t mask = (1u << (3 * band / bands)) | (2 * s < slices ? 8u : 16u);
        m.add(abc{index16(a), index16(b), index16(c), 3}, material, mask);
    };
    m.faces.reserve(face_target);
    for (std::uint32_t s = 0; s < slices; ++s) add(0, s, 0, ring(1, s), ring(1, s + 1));
    for (std::uint32_t r = 1; r < rings; ++r) {
        for (std::uint32_t s = 0; s < slices; ++s) {
            add(r, s, ring(r, s), ring(r + 1, s), ring(r + 1, s + 1));
            add(r, s, ring(r, s), ring(r + 1, s + 1), ring(r, s + 1));
        }
    }
    for (std::uint32_t s = 0; s < slices; ++s) add(rings, s, ring(rings, s), south, ring(rings, s + 1));
    return m;
}

// The bands scene's materials and masks, counted from the object's first
// face.
void lay_bands(mesh& m) {
    for (std::size_t i = 0; i < m.faces.size(); ++i) {
        m.materials[i] = static_cast<std::uint8_t>((i / 97) % 3);
        m.masks[i] = 1u << ((i / 64) % 4);
    }
}

const char* const material_names[] = {"BENCH_CLAY", "BENCH_RUST", "BENCH_SLATE", "BENCH_MOSS"};

chunks::chunk mesh_object(const std::string& name, mesh m, scene_kind kind) {
    if (kind == scene_kind::bands) lay_bands(m);
    std::vector<chunks::chunk> face_children;
    if (kind == scene_kind::plain) {
        std::vector<std::uint16_t> all_faces(m.faces.size());
        for (std::size_t i = 0; i < all_faces.size(); ++i) all_faces[i] = index16(static_cast<std::uint32_t>(i));
        face_children.push_back(chunks::material_group(material_names[0], all_faces));
    } else {
        std::vector<std::uint16_t> listed[4];
        for (std::size_t i = 0; i < m.faces.size(); ++i)
            listed[m.materials[i]].push_back(index16(static_cast<std::uint32_t>(i)));
        for (int k = 0; k < 4; ++k)
            if (!listed[k].empty()) face_children.push_back(chunks::material_group(material_names[k], listed[k]));
        chunks::bytes masks;
        for (std::uint32_t mask : m.masks) chunks::append_u32(masks, mask);
        face_children.push_back(chunks::make(0x4150, std::move(masks)));
    }
    return chunks::named_object(name, {chunks::triangle_mesh({chunks::vertex_list(m.vertices),
                                                              chunks::face_list(m.faces, std::move(face_children))})});
}

}  // namespace

chunks::bytes make_bench_scene(std::uint64_t face_count, scene_kind kind) {
    using namespace chunks;
    std::vector<chunk> editor_children;
    editor_children.push_back(material({material_name(material_names[0]), diffuse(color24(201, 143, 97))}));
    if (kind != scene_kind::plain) {
        editor_children.push_back(material({material_name(material_names[1]), diffuse(color24(163, 72, 31))}));
        editor_children.push_back(material({material_name(material_names[2]), diffuse(color24(92, 101, 117))}));
    }
    if (kind == scene_kind::groups)
        editor_children.push_back(material({material_name(material_names[3]), diffuse(color24(88, 121, 61))}));
    editor_children.push_back(
        named_object("Camera01", {camera({-2210.37f, -1987.53f, 913.71f}, {103.29f, 87.17f, 11.3f}, 0.0f, 43.2871f)}));
    editor_children.push_back(
        named_object("Light01", {light({1517.3f, -2203.9f, 1874.1f}, {color_float(0.93f, 0.91f, 0.87f)})}));

    // Several objects even in small scenes; at most 65 535 faces each (or
    // bands_object_faces).
    const std::uint64_t most = kind == scene_kind::bands ? bands_object_faces : max_object_faces;
    std::uint64_t objects =
        std::max<std::uint64_t>((face_count + most - 1) / most, std::min<std::uint64_t>(4, face_count));
    for (std::uint64_t k = 0; k < objects; ++k) {
        auto faces = static_cast<std::uint32_t>(face_count / objects + (k < face_count % objects ? 1 : 0));
        int index = static_cast<int>(k);
        char name[16];
        if (k % 2 == 0) {
            std::snprintf(name, sizeof name, "Grid%03d", index);
            editor_children.push_back(mesh_object(name, make_grid(index, faces), kind));
        } else {
            std::snprintf(name, sizeof name, "Sphere%03d", index);
            editor_children.push_back(mesh_object(name, make_sphere(index, faces), kind));
        }
    }
    return serialize(primary({version(3), editor(std::move(editor_children))}));
}

chunks::bytes make_lookup_scene(std::uint64_t megabytes) {
    using namespace chunks;
    const std::uint64_t bytes_each = megabytes * 1000000;
    const chunk one_material = material({material_name("a")});
    const chunk one_group = material_group("b");
    const std::uint64_t material_count = bytes_each / serialize(one_material).size();
    const std::uint64_t group_count = bytes_each / serialize(one_group).size();
    std::vector<chunk> editor_children(material_count, one_material);
    std::vector<chunk> groups(group_count, one_group);
    editor_children.push_back(named_object("Groups", {triangle_mesh({vertex_list({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}),
                                                                     face_list({{0, 1, 2}}, std::move(groups))})}));
    return serialize(primary({version(3), editor(std::move(editor_children))}));
}

chunks::bytes make_fan_scene() {
    using namespace chunks;
    // 65 534 rim vertices and the centre fill the 16-bit vertex count; the
    // last face goes round the rim once more, so 65 535 faces meet at the
    // centre.
    constexpr std::uint32_t rim = max_object_faces - 1;
    std::vector<chunk> objects;
    for (const float height : {0.0f, 1.0f}) {
        std::vector<xyz> v{{0.0f, 0.0f, height}};
        for (std::uint32_t i = 0; i < rim; ++i) {
            const double a = 6.283185307179586 * i / rim;
            v.push_back({static_cast<float>(std::cos(a)), static_cast<float>(std::sin(a)), 0.0f});
        }
        std::vector<abc> f;
        for (std::uint32_t i = 0; i < max_object_faces; ++i)
            f.push_back({0, static_cast<std::uint16_t>(1 + i % rim), static_cast<std::uint16_t>(1 + (i + 1) % rim)});
        objects.push_back(
            named_object(height == 0.0f ? "Fan" : "Cone", {triangle_mesh({vertex_list(v), face_list(f)})}));
    }
    return serialize(primary({version(3), editor(std::move(objects))}));
}

}  // namespace tessvert_bench
