// The in-memory scene that one conversion builds from a 3DS file.
//
// Plain records held by value in contiguous arrays. The reader appends one
// zero-filled record at a time and fills the last one; the geometry pass adds
// each object's normals; the writers and the statistics only read.
#pragma once

#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tessvert {

// Three single-precision floats, in the 3DS file's own units and axes.
struct vec3 {
    float x = 0.0f;
    float y = 0.0f;
    float z = 0.0f;
};

// One triangle: three vertex indices into the same object's vertices, in file
// order. The file stores them as unsigned 16-bit values.
struct face {
    std::uint32_t a = 0;
    std::uint32_t b = 0;
    std::uint32_t c = 0;
};

// Whether every coordinate is a finite number: the renderer reads no NaN
// or infinity, and one would spoil every normal it is added to.
inline bool is_finite(const vec3& v) {
    return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
}

// Whether every corner of `f` names one of `vertex_count` vertices.
inline bool face_in_range(const face& f, std::size_t vertex_count) {
    return f.a < vertex_count && f.b < vertex_count && f.c < vertex_count;
}

// Whether `f` can be written and given normals: every corner names one of
// the `vertex_count` vertices at `vertices`, whose coordinates are finite.
inline bool face_is_sound(const face& f, const vec3* vertices, std::size_t vertex_count) {
    return face_in_range(f, vertex_count) && is_finite(vertices[f.a]) && is_finite(vertices[f.b]) &&
           is_finite(vertices[f.c]);
}

// Longest names kept; the file may hold longer ones, whose tail is read past.
inline constexpr std::size_t object_name_max = 255;
inline constexpr std::size_t material_name_max = 254;

// A material group of a face list (0x4130) as the file gives it: the name
// it looks up, how many materials the file held before it, and its face
// numbers, which are kept in the object's group_faces at
// [first_face, first_face + face_numbers).
struct material_group_entry {
    std::string name;
    std::int32_t materials_before = 0;
    std::uint32_t first_face = 0;
    std::uint32_t face_numbers = 0;
};

// The material of a face that no matching material group lists.
inline constexpr std::int32_t no_material = -1;

// One per named object chunk, whatever it holds (a mesh, a light or a camera).
// Its counts are those of its arrays (tex_coords holds two floats per
// texture vertex; the file's counts are 16-bit, so they fit). Invariants:
// normals is either empty (not computed) or holds one entry per vertex. The
// per-face arrays are each either empty or hold one entry per face
// (corner_normals: three), in the order of `faces`.
struct mesh_object {
    std::int32_t vertex_count() const { return static_cast<std::int32_t>(vertices.size()); }
    std::int32_t face_count() const { return static_cast<std::int32_t>(faces.size()); }
    std::int32_t tex_vertex_count() const { return static_cast<std::int32_t>(tex_coords.size() / 2); }

    // From the material groups, once resolved: the default colour's
    // material, an index into scene::materials (0 when no group gives one),
    // and whether a group names a material with a texture map.
    std::int32_t material_index = 0;
    std::int32_t has_texture = 0;
    std::string name;
    std::vector<vec3> vertices;
    std::vector<vec3> normals;
    std::vector<float> tex_coords;  // raw, two floats per texture vertex
    std::vector<face> faces;

    // What the face list's children say of its faces. Every group is kept
    // in file order with its face numbers as read (numbers of the face list
    // as read, before any face was removed); the groups of a face list that
    // a later one replaced keep their names and no face.
    std::vector<material_group_entry> material_groups;
    std::vector<std::uint16_t> group_faces;

    // Per face: the smoothing group mask of a complete 0x4150 chunk, else
    // empty.
    std::vector<std::uint32_t> smoothing;
    // Per face: its material (an index into scene::materials, or
    // no_material), once the groups have been resolved; else empty.
    std::vector<std::int32_t> face_materials;
    // Per face, three numbers, one per corner a, b, c: the corner's normal
    // under the smoothing groups, an index into smooth_normals, or
    // use_vertex_normal for the normal of the corner's vertex in `normals`.
    // Empty when the vertex normals apply to every corner.
    std::vector<std::uint32_t> corner_normals;
    // The corner normals that are not vertex normals. Each belongs to one
    // vertex: only corners of that vertex name it.
    std::vector<vec3> smooth_normals;

    // The mesh's own matrix (0x4160), where the mesh's vertices were placed
    // when it was made: the images of the x, y and z axes, then the origin.
    // Identity when the file gives none.
    bool has_mesh_matrix = false;
    std::array<float, 12> mesh_matrix{1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0};
};

// An affine placement, in the layout of a mesh matrix: the images of the
// x, y and z axes, then the translation. A point p goes to
// p.x * X + p.y * Y + p.z * Z + T.
using placement = std::array<double, 12>;

// A node of the keyframer as the file gives it: what it names, its place in
// the hierarchy and the first key of each track. Only object nodes (0xB002)
// show meshes; the nodes of cameras, lights and their targets are kept for
// their place in the node list and their ids, which parents name.
struct keyframe_node {
    std::string name;               // the mesh it shows, or "$$$DUMMY"; a camera's or light's name
    bool object = true;             // an object node; false: a camera's, a light's or a target's
    std::string instance_name;      // empty when the file gives none
    std::int32_t id = -1;           // its node id (0xB030); -1: none given
    std::uint16_t parent = 0xFFFF;  // the parent's node id; 0xFFFF: none
    vec3 pivot;
    vec3 position;
    std::array<float, 4> rotation{};  // angle in radians, then the axis
    vec3 scale{1.0f, 1.0f, 1.0f};
};

// The name of the keyframer's dummy nodes, which only carry transforms.
inline constexpr char dummy_node_name[] = "$$$DUMMY";

// A mesh shown once more, where a keyframer node places it.
struct mesh_instance {
    std::uint32_t object = 0;  // index into scene::objects
    placement matrix{};        // from the mesh's vertices as stored to the copy's
    std::size_t node = 0;      // index into scene::nodes
};

// Whether every face of `o` names vertices it has: what the normals and
// the writers ask of an object, once the faces have been checked.
inline bool faces_in_range(const mesh_object& o) {
    for (const face& f : o.faces)
        if (!face_in_range(f, o.vertices.size())) return false;
    return true;
}

// The corner_normals entry of a corner that takes its vertex normal.
inline constexpr std::uint32_t use_vertex_normal = 0xFFFFFFFFu;

// How a material's texture map (0xA200) lies on its faces, as the map's
// own sub-chunks give it; values the file does not give keep these
// defaults. Only finite numbers are kept.
struct texture_map {
    bool present = false;      // the material has a 0xA200 chunk
    float amount = 100.0f;     // percent of the image over the diffuse colour
    std::uint16_t tiling = 0;  // 0xA351 flags (texture_no_tile, ...)
    float u_scale = 1.0f;      // repeats of the image across u = 0..1
    float v_scale = 1.0f;
    float u_offset = 0.0f;  // in image widths
    float v_offset = 0.0f;  // in image heights
    float rotation = 0.0f;  // degrees
};

// Tiling flags of 0xA351: the image shown once rather than repeated.
inline constexpr std::uint16_t texture_decal = 0x0001;
inline constexpr std::uint16_t texture_mirror = 0x0002;
inline constexpr std::uint16_t texture_no_tile = 0x0010;

// A map of a material other than its texture map (a bump, opacity,
// specular or reflection map, a second texture, a mask): the id of its
// chunk and the file name it gives (empty when it gives none).
struct other_map {
    std::uint16_t chunk_id = 0;
    std::string name;
    // Its amount and how its image lies on the faces, as its own
    // sub-chunks give them (those of a texture map).
    texture_map placement;
};

// What kind of map the chunk `chunk_id` of an other_map is ("bump map",
// "opacity mask", ...).
const char* other_map_kind(std::uint16_t chunk_id);

// The double nearest to 1/255: a colour byte times this is its channel.
inline constexpr double byte_to_channel = 0.00392156862745098;

struct material {
    std::string name;
    std::string map_name;
    std::array<std::uint8_t, 3> diffuse{};  // R, G, B
    // The rest of the shading, as far as the file gives it (zero where it
    // does not). Colours are R, G, B bytes; amounts are fractions in [0, 1].
    std::array<std::uint8_t, 3> ambient{};
    std::array<std::uint8_t, 3> specular{};
    std::uint8_t has_specular = 0;  // 1 once a specular colour was read
    // The same three colours as the file gives them in floats (0x0010,
    // 0x0013), unrounded and unclamped, when it does; the bytes above are
    // these rounded.
    std::array<float, 3> diffuse_float{};
    std::array<float, 3> ambient_float{};
    std::array<float, 3> specular_float{};
    std::uint8_t has_float_diffuse = 0;
    std::uint8_t has_float_ambient = 0;
    std::uint8_t has_float_specular = 0;
    float shininess = 0.0f;
    float shininess_strength = 0.0f;
    // 1 once a shininess strength was read: files of 3D Studio's earliest
    // releases have none, their highlight follows the shininess alone.
    std::uint8_t has_shininess_strength = 0;
    float transparency = 0.0f;
    float self_illumination = 0.0f;
    std::uint8_t two_sided = 0;  // 1: its faces are seen from both sides (0xA081)
    texture_map texture;
    std::vector<other_map> other_maps;  // in file order
};

struct camera {
    vec3 position;
    vec3 target;
    float bank = 0.0f;
    float lens = 0.0f;  // focal length in millimetres
};

struct light {
    vec3 position;
    vec3 target;
    float hotspot = 0.0f;
    float falloff = 0.0f;
    std::uint8_t is_off = 0;
    std::uint8_t is_spot = 0;
    std::array<float, 3> color{};           // float colour R, G, B
    float multiplier = 0.0f;                // 1 unless the file gives a finite one
    std::array<std::uint8_t, 3> color24{};  // 24-bit colour R, G, B
    // 1 once a float colour sub-chunk was read: the writer then prints
    // `color`, otherwise it prints the 24-bit colour.
    std::uint8_t has_float_color = 0;
};

// One per run. Each count is the size of its array; the arrays only grow
// while the file is read.
struct scene {
    std::int32_t light_count() const { return static_cast<std::int32_t>(lights.size()); }
    std::int32_t camera_count() const { return static_cast<std::int32_t>(cameras.size()); }
    std::int32_t object_count() const { return static_cast<std::int32_t>(objects.size()); }
    std::int32_t material_count() const { return static_cast<std::int32_t>(materials.size()); }

    std::vector<material> materials;
    std::vector<mesh_object> objects;
    std::vector<camera> cameras;
    std::vector<light> lights;
    // The keyframer's nodes in file order, and the copies of meshes
    // they add (filled only when the copies are asked for); where the
    // first node of each mesh puts it (filled only when asked for).
    std::vector<keyframe_node> nodes;
    std::vector<mesh_instance> instances;
    std::vector<mesh_instance> first_nodes;
    // The editor's environment: the ambient light and the solid background
    // colour, as float R, G, B; the background counts only when the file
    // says to use it.
    std::array<float, 3> ambient_light{};
    std::array<float, 3> background{};
    std::uint8_t use_background = 0;
};

scene init_scene();

// Each adds one zero-filled record at the end of its array; the caller then
// fills it as the last record.
void append_light(scene& s);
void append_camera(scene& s);
void append_material(scene& s);
void append_object(scene& s);

// Whether the object's mapping coordinates can be laid on its vertices:
// one pair for each vertex, every number finite.
bool mapping_coords_usable(const mesh_object& o);

// Removes the faces of `o` whose entry in `keep` is 0, keeping the order of
// the others; every per-face array of the object (smoothing, face_materials,
// corner_normals) follows the faces, so whatever belongs to a face stays
// with it. `keep` has one entry per face.
// Returns how many faces were removed.
std::size_t keep_faces(mesh_object& o, const std::vector<std::uint8_t>& keep);

}  // namespace tessvert
