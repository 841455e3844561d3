#include "writers/gltf/gltf_scene.hpp"

#include <algorithm>
#include <cmath>
#include <map>
#include <numbers>
#include <utility>

#include "writers/gltf/gltf_json.hpp"

namespace tessvert {

namespace {

using vec = std::array<double, 3>;

vec sub(const vec& a, const vec& b) {
    return {a[0] - b[0], a[1] - b[1], a[2] - b[2]};
}

vec cross(const vec& a, const vec& b) {
    return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}

double length(const vec& v) {
    return std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
}

vec unit(const vec& v) {
    const double l = length(v);
    return {v[0] / l, v[1] / l, v[2] / l};
}

vec as_vec(const double v[3]) {
    return {v[0], v[1], v[2]};
}

// JSON arrays and members.
void append_numbers(std::string& out, const double* v, std::size_t n) {
    out += '[';
    for (std::size_t k = 0; k < n; ++k) {
        if (k > 0) out += ',';
        append_json_number(out, v[k]);
    }
    out += ']';
}

template <std::size_t N>
void append_numbers(std::string& out, const std::array<double, N>& v) {
    append_numbers(out, v.data(), N);
}

template <std::size_t N>
void append_numbers(std::string& out, const std::array<float, N>& v) {
    std::array<double, N> d{};
    for (std::size_t k = 0; k < N; ++k) d[k] = v[k];
    append_numbers(out, d);
}

// Opens member `key` of an object at hand ("," before all but the first).
void key(std::string& out, const char* name) {
    if (out.back() != '{' && out.back() != '[') out += ',';
    out += '"';
    out += name;
    out += "\":";
}

// A node that places something at `position`, its -z axis along `forward`
// and its +y axis towards `up` (made square to it): the frame of a glTF
// camera or spotlight.
gltf_node_placement aimed(const vec& position, const vec& forward, const vec& up) {
    const vec back = unit({-forward[0], -forward[1], -forward[2]});
    const vec right = unit(cross(up, back));
    const vec y = cross(back, right);
    const placement m{right[0], right[1], right[2], y[0],        y[1],        y[2],
                      back[0],  back[1],  back[2],  position[0], position[1], position[2]};
    gltf_node_placement p;
    split_placement(m, p);
    p.scale = {1, 1, 1};
    return p;
}

// The up direction of something that looks along `d` in a scene whose up
// is `up`: `up`, or the next axis (its components taken round once) when
// it looks along it.
vec up_for(const vec& d, const vec& up) {
    const vec r = cross(d, up);
    return length(r) > 1e-6 * length(d) ? up : vec{up[1], up[2], up[0]};
}

void append_placement(std::string& out, const gltf_node_placement& p) {
    if (p.translation != std::array<double, 3>{0, 0, 0}) {
        key(out, "translation");
        append_numbers(out, p.translation);
    }
    if (p.rotation != std::array<double, 4>{0, 0, 0, 1}) {
        key(out, "rotation");
        append_numbers(out, p.rotation);
    }
    if (p.scale != std::array<double, 3>{1, 1, 1}) {
        key(out, "scale");
        append_numbers(out, p.scale);
    }
}

// The widest field of view taken, as for POV-Ray.
constexpr double widest_angle = 179.0;
constexpr double degree = std::numbers::pi / 180.0;

// A list of JSON objects: each opened with `open`, which returns its index.
struct json_list {
    std::string text = "[";
    std::size_t count = 0;

    std::size_t open() {
        text += count > 0 ? ",{" : "{";
        return count++;
    }
    std::string closed() const { return text + "]"; }
};

// One camera: its glTF camera and its node.
void add_camera(json_list& cameras, json_list& nodes, const std::string& name, const double position[3],
                const double look_at[3], const vec& scene_up, double fov, double bank) {
    const vec p = as_vec(position);
    vec d = sub(as_vec(look_at), p);
    double distance = length(d);
    if (!(distance > 0) || !std::isfinite(distance)) {
        // The eye is on its target: it looks along +y.
        d = {0, 1, 0};
        distance = 1;
    }
    d = unit(d);
    const vec right = unit(cross(d, up_for(d, scene_up)));
    const vec up = cross(right, d);
    // The bank turns the camera about its line of sight.
    const double a = std::isfinite(bank) ? bank * degree : 0.0;
    const vec sky{std::cos(a) * up[0] + std::sin(a) * right[0], std::cos(a) * up[1] + std::sin(a) * right[1],
                  std::cos(a) * up[2] + std::sin(a) * right[2]};
    // The picture is 4:3; the field of view is its width's.
    const double half_width = std::clamp(fov, 1e-3, widest_angle) * degree / 2;
    const double yfov = 2 * std::atan(std::tan(half_width) * 3.0 / 4.0);
    const std::size_t index = cameras.open();
    std::string& c = cameras.text;
    key(c, "type");
    c += "\"perspective\"";
    key(c, "perspective");
    c += '{';
    key(c, "aspectRatio");
    append_json_number(c, 4.0 / 3.0);
    key(c, "yfov");
    append_json_number(c, yfov);
    key(c, "znear");
    append_json_number(c, distance * 1e-4);
    c += "}}";
    nodes.open();
    key(nodes.text, "name");
    append_json_string(nodes.text, name);
    key(nodes.text, "camera");
    append_count(nodes.text, index);
    append_placement(nodes.text, aimed(p, d, sky));
    nodes.text += '}';
}

double linear_of_srgb(double c) {
    c = std::clamp(c, 0.0, 1.0);
    return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
}

// A scale of the map of 0 counts as 1; others are kept within 1/1000 and
// 1000 times, as for POV-Ray.
double usable_scale(float scale) {
    if (scale == 0) return 1.0;
    return std::copysign(std::clamp(std::fabs(static_cast<double>(scale)), 1e-3, 1e3), scale);
}

// KHR_texture_transform of a map placed by `t`. 3D Studio reads the image
// at c + S R (uv - c - offset) in glTF's texture space (v down), with c
// the image's centre, R the turn by the map's rotation and S its scale;
// glTF reads it at T + R' S' uv with R' the turn by minus its rotation
// (scale first). The two agree when the u and v scales are equal or the
// turn is by whole quarter turns; otherwise the scales are taken along
// the turned axes.
struct texture_transform {
    std::array<double, 2> offset{0, 0}, scale{1, 1};
    double rotation = 0;
    bool identity() const {
        return offset == std::array<double, 2>{0, 0} && scale == std::array<double, 2>{1, 1} && rotation == 0;
    }
};

texture_transform transform_of(const texture_map& t) {
    const double su = usable_scale(t.u_scale), sv = usable_scale(t.v_scale);
    const double turns = std::fmod(static_cast<double>(t.rotation), 360.0);
    double c = std::cos(turns * degree), s = std::sin(turns * degree);
    if (std::fmod(turns, 90.0) == 0) {
        c = std::round(c);
        s = std::round(s);
    }
    texture_transform x;
    x.rotation = turns == 0 ? 0.0 : -turns * degree;
    // S R(theta) = R(theta) S' with S' the scale along the turned axes.
    x.scale = {su * c * c + sv * s * s, su * s * s + sv * c * c};
    // T = c - S R (c + offset), with the map's matrix S R = [su c, -su s; sv s, sv c].
    const double px = 0.5 + t.u_offset, py = 0.5 + t.v_offset;
    x.offset = {0.5 - (su * c * px - su * s * py), 0.5 - (sv * s * px + sv * c * py)};
    if (x.offset[0] == 0) x.offset[0] = 0;
    if (x.offset[1] == 0) x.offset[1] = 0;
    return x;
}

// glTF's wrap modes.
constexpr int repeat = 10497, clamp_to_edge = 33071, mirrored_repeat = 33648;

// The buffer's items: one buffer view per accessor.
struct accessor_list {
    std::string accessors = "[", views = "[";
    std::size_t count = 0;

    std::size_t add(std::uint64_t offset, std::uint64_t bytes, int target, int component, std::uint64_t elements,
                    const char* type, const std::array<float, 3>* min = nullptr,
                    const std::array<float, 3>* max = nullptr) {
        views += count > 0 ? ",{" : "{";
        key(views, "buffer");
        views += '0';
        key(views, "byteOffset");
        append_count(views, offset);
        key(views, "byteLength");
        append_count(views, bytes);
        key(views, "target");
        append_count(views, static_cast<std::uint64_t>(target));
        views += '}';
        accessors += count > 0 ? ",{" : "{";
        key(accessors, "bufferView");
        append_count(accessors, count);
        key(accessors, "componentType");
        append_count(accessors, static_cast<std::uint64_t>(component));
        key(accessors, "count");
        append_count(accessors, elements);
        key(accessors, "type");
        accessors += '"';
        accessors += type;
        accessors += '"';
        if (min != nullptr) {
            key(accessors, "min");
            append_numbers(accessors, *min);
            key(accessors, "max");
            append_numbers(accessors, *max);
        }
        accessors += '}';
        return count++;
    }
};

constexpr int array_buffer = 34962, element_array_buffer = 34963;
constexpr int float_component = 5126, u16_component = 5123, u32_component = 5125;

// The materials as glTF's: each look used, once plainly and once with
// its map where faces show it.
struct material_list {
    std::string text = "[";
    std::string images = "[", textures = "[", samplers = "[";
    std::map<std::pair<std::int32_t, bool>, std::size_t> index;  // (material, mapped) -> its glTF material
    std::map<std::string, std::size_t> image_index;
    std::map<std::pair<int, int>, std::size_t> sampler_index;
    std::map<std::pair<std::size_t, std::size_t>, std::size_t> texture_index;
    bool transforms = false;  // KHR_texture_transform is used

    std::size_t texture_of(const drawn_map& map) {
        const auto image = image_index.try_emplace(map.image, image_index.size());
        if (image.second) {
            images += image.first->second > 0 ? ",{" : "{";
            key(images, "uri");
            append_json_string(images, uri_of_file_name(map.image));
            images += '}';
        }
        const int wrap = (map.placement.tiling & (texture_no_tile | texture_decal)) != 0 ? clamp_to_edge
                         : (map.placement.tiling & texture_mirror) != 0                  ? mirrored_repeat
                                                                                         : repeat;
        const auto sampler = sampler_index.try_emplace({wrap, wrap}, sampler_index.size());
        if (sampler.second) {
            samplers += sampler.first->second > 0 ? ",{" : "{";
            key(samplers, "magFilter");
            samplers += "9729";
            key(samplers, "minFilter");
            samplers += "9987";
            key(samplers, "wrapS");
            append_count(samplers, static_cast<std::uint64_t>(wrap));
            key(samplers, "wrapT");
            append_count(samplers, static_cast<std::uint64_t>(wrap));
            samplers += '}';
        }
        const auto texture =
            texture_index.try_emplace({image.first->second, sampler.first->second}, texture_index.size());
        if (texture.second) {
            textures += texture.first->second > 0 ? ",{" : "{";
            key(textures, "sampler");
            append_count(textures, sampler.first->second);
            key(textures, "source");
            append_count(textures, image.first->second);
            textures += '}';
        }
        return texture.first->second;
    }

    void append_texture_info(std::string& out, const char* name, const drawn_map& map) {
        key(out, name);
        out += '{';
        key(out, "index");
        append_count(out, texture_of(map));
        const texture_transform x = transform_of(map.placement);
        if (!x.identity()) {
            transforms = true;
            key(out, "extensions");
            out += "{\"KHR_texture_transform\":{";
            key(out, "offset");
            append_numbers(out, x.offset);
            key(out, "rotation");
            append_json_number(out, x.rotation);
            key(out, "scale");
            append_numbers(out, x.scale);
            out += "}}";
        }
        out += '}';
    }

    std::size_t add(const drawn_scene& d, std::int32_t m, bool mapped) {
        const auto [at, added] = index.try_emplace({m, mapped}, index.size());
        if (!added) return at->second;
        const material_look& look = look_of(d, m);
        const double alpha = 1.0 - std::clamp(look.transparency, 0.0, 1.0);
        text += at->second > 0 ? ",{" : "{";
        key(text, "name");
        append_json_string(
            text, m == no_material ? std::string("No material") : d.file->materials[static_cast<std::size_t>(m)].name);
        key(text, "pbrMetallicRoughness");
        text += '{';
        // glTF multiplies the factor and the image: white where the image
        // shows.
        std::array<double, 4> base{1, 1, 1, alpha};
        if (!mapped)
            for (std::size_t k = 0; k < 3; ++k) base[k] = linear_of_srgb(look.diffuse[k]);
        key(text, "baseColorFactor");
        append_numbers(text, base);
        if (mapped) append_texture_info(text, "baseColorTexture", look.map);
        key(text, "metallicFactor");
        append_json_number(text, std::clamp(look.reflection, 0.0, 1.0));
        // The highlight's size as POV-Ray's Phong exponent (1 + 99
        // shininess), as a microfacet roughness; no highlight: matte.
        const double exponent = 1.0 + 99.0 * std::clamp(look.shininess, 0.0, 1.0);
        key(text, "roughnessFactor");
        append_json_number(text, look.highlight > 0 ? std::pow(2.0 / (exponent + 2.0), 0.25) : 1.0);
        text += '}';
        const double glow = std::clamp(look.self_illumination, 0.0, 1.0);
        if (glow > 0) {
            std::array<double, 3> emissive{glow, glow, glow};
            if (!mapped)
                for (std::size_t k = 0; k < 3; ++k) emissive[k] *= base[k];
            key(text, "emissiveFactor");
            append_numbers(text, emissive);
            if (mapped) append_texture_info(text, "emissiveTexture", look.map);
        }
        if (alpha < 1) {
            key(text, "alphaMode");
            text += "\"BLEND\"";
        }
        if (look.two_sided) {
            key(text, "doubleSided");
            text += "true";
        }
        text += '}';
        return at->second;
    }
};

// The bounds of everything drawn, in the file's axes: each mesh's, and
// the corners of each placed copy's.
std::pair<vec, vec> drawn_bounds(const gltf_layout& layout) {
    vec lo{HUGE_VAL, HUGE_VAL, HUGE_VAL}, hi{-HUGE_VAL, -HUGE_VAL, -HUGE_VAL};
    const auto take = [&](const vec& p) {
        for (std::size_t k = 0; k < 3; ++k) {
            lo[k] = std::min(lo[k], p[k]);
            hi[k] = std::max(hi[k], p[k]);
        }
    };
    for (const gltf_mesh& m : layout.meshes) {
        take({m.min[0], m.min[1], m.min[2]});
        take({m.max[0], m.max[1], m.max[2]});
    }
    return {lo, hi};
}

// One light: its KHR_lights_punctual entry and its node. Its intensity is
// reckoned at its distance from the centre of what is drawn, at least the
// scene's radius.
void add_light(json_list& lights, json_list& nodes, const std::string& name, const drawn_light& l, const vec& centre,
               double radius, const vec& scene_up) {
    const vec p = as_vec(l.position);
    double distance = std::max(length(sub(centre, p)), radius);
    if (!(distance > 0) || !std::isfinite(distance)) distance = 1;
    std::array<double, 3> colour{};
    double brightest = 0;
    for (std::size_t k = 0; k < 3; ++k) {
        colour[k] = std::isfinite(l.color[k]) ? std::max(l.color[k], 0.0) : 0.0;
        brightest = std::max(brightest, colour[k]);
    }
    // glTF's colour is at most 1 a channel: the rest goes to the intensity.
    double multiplier = std::isfinite(l.intensity) ? std::max(l.intensity, 0.0) : 0.0;
    if (brightest > 1) {
        for (double& c : colour) c /= brightest;
        multiplier *= brightest;
    }
    const vec aim = sub(as_vec(l.target), p);
    const bool spot =
        l.spot && length(aim) > 0 && std::isfinite(length(aim)) && std::isfinite(l.hotspot) && std::isfinite(l.falloff);
    const std::size_t index = lights.open();
    std::string& t = lights.text;
    key(t, "type");
    t += spot ? "\"spot\"" : "\"point\"";
    key(t, "color");
    append_numbers(t, colour);
    key(t, "intensity");
    append_json_number(t, gltf_light_intensity(multiplier, distance));
    gltf_node_placement place;
    place.translation = p;
    if (spot) {
        // The file's cones are full angles, glTF's half angles: the bright
        // one strictly inside the other, both within a quarter turn.
        const double outer = std::clamp(l.falloff / 2, 0.01, 90.0) * degree;
        const double inner = std::clamp(l.hotspot / 2, 0.0, 90.0) * degree;
        key(t, "spot");
        t += '{';
        key(t, "innerConeAngle");
        append_json_number(t, std::min(inner, outer * 0.999));
        key(t, "outerConeAngle");
        append_json_number(t, outer);
        t += '}';
        place = aimed(p, aim, up_for(aim, scene_up));
    }
    t += '}';
    nodes.open();
    key(nodes.text, "name");
    append_json_string(nodes.text, name);
    append_placement(nodes.text, place);
    key(nodes.text, "extensions");
    nodes.text += "{\"KHR_lights_punctual\":{\"light\":" + std::to_string(index) + "}}}";
}

// The JSON lists of the scene as they are built, one entry after another.
struct gltf_lists {
    json_list nodes, cameras, lights, meshes;
    accessor_list accessors;
    material_list materials;
    std::size_t children_at = 0;  // where node 0's list of children goes
};

// Node 0 stands the scene upright: the file's z-up frame turned -90
// degrees about x into glTF's y-up one, after the turn of the drawing. Its
// children are listed once every node is there (list_children).
void add_root_node(gltf_lists& g, const drawn_scene& d) {
    g.nodes.open();
    key(g.nodes.text, "name");
    append_json_string(g.nodes.text, "3DS scene, z up");
    key(g.nodes.text, "matrix");
    static constexpr double to_y_up[9] = {1, 0, 0, 0, 0, 1, 0, -1, 0};
    std::array<double, 16> m{};
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) {
            double sum = 0;
            for (int k = 0; k < 3; ++k) sum += to_y_up[3 * r + k] * d.turn[static_cast<std::size_t>(3 * k + c)];
            m[static_cast<std::size_t>(4 * c + r)] = sum;
        }
    m[15] = 1;
    append_numbers(g.nodes.text, m);
    key(g.nodes.text, "children");
    g.children_at = g.nodes.text.size();
    g.nodes.text += '}';
}

// Every node after the first as node 0's children.
void list_children(gltf_lists& g) {
    std::string children = "[";
    for (std::size_t k = 1; k < g.nodes.count; ++k) {
        if (k > 1) children += ',';
        children += std::to_string(k);
    }
    g.nodes.text.insert(g.children_at, children + "]");
}

// The initial view and the file's cameras, then the lights and the
// headlight, each with its node.
void add_cameras_and_lights(gltf_lists& g, const drawn_scene& d, const gltf_layout& layout) {
    // Up in the record's numbers: the file's +z, or the axis the turn
    // stands up; the initial view has its own (from above or below).
    const vec up = d.up;
    add_camera(g.cameras, g.nodes, "Initial view", d.view.position, d.view.look_at, as_vec(d.view.up), d.view.fov,
               d.view.bank);
    for (std::size_t k = 0; k < d.cameras.size(); ++k) {
        const written_camera& w = d.cameras[k];
        add_camera(g.cameras, g.nodes, "Camera " + std::to_string(k + 1), w.position, w.look_at, up, w.fov, w.bank);
    }

    const auto [lo, hi] = drawn_bounds(layout);
    vec centre{0, 0, 0};
    double radius = 0;
    if (!layout.meshes.empty()) {
        centre = {(lo[0] + hi[0]) / 2, (lo[1] + hi[1]) / 2, (lo[2] + hi[2]) / 2};
        radius = length(sub(hi, lo)) / 2;
    }
    for (std::size_t k = 0; k < d.lights.size(); ++k)
        add_light(g.lights, g.nodes, "Light " + std::to_string(k + 1), d.lights[k], centre, radius, up);
    if (d.headlight) {
        drawn_light head;
        for (int k = 0; k < 3; ++k) head.position[k] = d.view.position[k], head.color[k] = 1;
        add_light(g.lights, g.nodes, "Headlight", head, centre, radius, up);
    }
}

// Each mesh: its accessors, and a primitive per material block.
void add_meshes(gltf_lists& g, const drawn_scene& d, const gltf_layout& layout) {
    for (std::size_t k = 0; k < layout.meshes.size(); ++k) {
        const gltf_mesh& m = layout.meshes[k];
        const gltf_object_layout& l = layout.objects[m.object];
        const gltf_mesh_blocks b = mesh_blocks(layout, k);
        const std::uint64_t n = b.vertices;
        const std::size_t positions =
            g.accessors.add(b.positions, 12 * n, array_buffer, float_component, n, "VEC3", &m.min, &m.max);
        std::size_t normals = 0, uvs = 0;
        if (layout.smooth) normals = g.accessors.add(b.normals, 12 * n, array_buffer, float_component, n, "VEC3");
        if (l.uv) uvs = g.accessors.add(b.uvs, 8 * n, array_buffer, float_component, n, "VEC2");
        std::string& text = g.meshes.text;
        g.meshes.open();
        key(text, "name");
        append_json_string(text, d.file->objects[m.object].name);
        key(text, "primitives");
        text += '[';
        for (std::size_t p = 0; p < l.primitives.size(); ++p) {
            const gltf_primitive& prim = l.primitives[p];
            const std::uint64_t count = 3 * std::uint64_t{prim.faces};
            const std::size_t indices =
                g.accessors.add(b.indices[p], count * b.index_size, element_array_buffer,
                                b.index_size == 2 ? u16_component : u32_component, count, "SCALAR");
            text += p > 0 ? ",{" : "{";
            key(text, "attributes");
            text += "{\"POSITION\":" + std::to_string(positions);
            if (layout.smooth) text += ",\"NORMAL\":" + std::to_string(normals);
            if (l.uv) text += ",\"TEXCOORD_0\":" + std::to_string(uvs);
            text += '}';
            key(text, "indices");
            append_count(text, indices);
            key(text, "material");
            append_count(text, g.materials.add(d, prim.material, prim.mapped));
            text += '}';
        }
        text += "]}";
    }
}

// The objects, then the keyframer's copies: nodes of the same mesh where a
// node can place them, else meshes of their own.
void add_mesh_nodes(gltf_lists& g, const drawn_scene& d, const gltf_layout& layout) {
    const auto add_mesh_node = [&](std::size_t object, std::int32_t mesh, const gltf_node_placement* place) {
        g.nodes.open();
        key(g.nodes.text, "name");
        append_json_string(g.nodes.text, d.file->objects[object].name);
        key(g.nodes.text, "mesh");
        append_count(g.nodes.text, static_cast<std::uint64_t>(mesh));
        if (place != nullptr) append_placement(g.nodes.text, *place);
        g.nodes.text += '}';
    };
    for (std::size_t i = 0; i < layout.mesh_of.size(); ++i)
        if (layout.mesh_of[i] >= 0)
            add_mesh_node(i, layout.mesh_of[i], layout.object_placed[i] != 0 ? &layout.object_nodes[i] : nullptr);
    for (std::size_t c = 0; c < d.copies.size(); ++c) {
        const std::int32_t held = layout.copy_mesh[c];
        const std::uint32_t object = d.copies[c].object;
        if (held == -1)
            add_mesh_node(object, layout.mesh_of[object], &layout.nodes[c]);
        else if (held >= 0)
            add_mesh_node(object, held, nullptr);
    }
}

// The whole document from its lists.
std::string document_of(const gltf_lists& g, const gltf_layout& layout, const std::string& buffer_name) {
    std::string text = "{\"asset\":{\"version\":\"2.0\",\"generator\":\"tessvert " TESSVERT_VERSION "\"}";
    std::string used;
    if (g.lights.count > 0) used += "\"KHR_lights_punctual\"";
    if (g.materials.transforms) used += std::string(used.empty() ? "" : ",") + "\"KHR_texture_transform\"";
    if (!used.empty()) text += ",\"extensionsUsed\":[" + used + "]";
    text += ",\"scene\":0,\"scenes\":[{\"nodes\":[0]}],\"nodes\":" + g.nodes.closed();
    text += ",\"cameras\":" + g.cameras.closed();
    if (g.meshes.count > 0) {
        const material_list& materials = g.materials;
        text += ",\"meshes\":" + g.meshes.closed();
        text += ",\"materials\":" + materials.text + "]";
        if (!materials.image_index.empty()) {
            text += ",\"images\":" + materials.images + "]";
            text += ",\"samplers\":" + materials.samplers + "]";
            text += ",\"textures\":" + materials.textures + "]";
        }
        text += ",\"accessors\":" + g.accessors.accessors + "]";
        text += ",\"bufferViews\":" + g.accessors.views + "]";
        text += ",\"buffers\":[{\"uri\":";
        append_json_string(text, uri_of_file_name(buffer_name));
        text += ",\"byteLength\":" + std::to_string(layout.bytes) + "}]";
    }
    if (g.lights.count > 0) text += ",\"extensions\":{\"KHR_lights_punctual\":{\"lights\":" + g.lights.closed() + "}}";
    text += "}\n";
    return text;
}

}  // namespace

double gltf_light_intensity(double multiplier, double distance) {
    // Blender takes 683 lumens for a watt, and a white matte surface lit by
    // E watts per square metre shows E / pi: a multiplier of 1 is then the
    // full brightness that POV-Ray gives at any distance.
    constexpr double lumens_per_watt = 683.0;
    return multiplier * distance * distance * lumens_per_watt * std::numbers::pi;
}

std::string gltf_scene_text(const drawn_scene& d, const gltf_layout& layout, const std::string& buffer_name) {
    gltf_lists g;
    add_root_node(g, d);
    add_cameras_and_lights(g, d, layout);
    add_meshes(g, d, layout);
    add_mesh_nodes(g, d, layout);
    list_children(g);
    return document_of(g, layout, buffer_name);
}

}  // namespace tessvert
