// The 3DS chunk ids the reader knows, by the level where they are met.
#pragma once

#include <cstdint>

namespace tessvert::chunk_id {

inline constexpr std::uint16_t primary = 0x4D4D;

// Children of the primary chunk and of editor chunks.
inline constexpr std::uint16_t version = 0x0002;
inline constexpr std::uint16_t editor = 0x3D3D;
inline constexpr std::uint16_t named_object = 0x4000;
inline constexpr std::uint16_t material_entry = 0xAFFF;
inline constexpr std::uint16_t keyframer = 0xB000;
inline constexpr std::uint16_t background_color = 0x1200;
inline constexpr std::uint16_t use_background_color = 0x1201;
inline constexpr std::uint16_t ambient_light = 0x2100;

// Children of named objects and triangle meshes.
inline constexpr std::uint16_t triangle_mesh = 0x4100;
inline constexpr std::uint16_t vertex_list = 0x4110;
inline constexpr std::uint16_t face_list = 0x4120;
inline constexpr std::uint16_t material_group = 0x4130;
inline constexpr std::uint16_t mapping_coords = 0x4140;
inline constexpr std::uint16_t smoothing_groups = 0x4150;
inline constexpr std::uint16_t mesh_matrix = 0x4160;
inline constexpr std::uint16_t light = 0x4600;
inline constexpr std::uint16_t camera = 0x4700;

// Children of lights.
inline constexpr std::uint16_t spotlight = 0x4610;
inline constexpr std::uint16_t light_off = 0x4620;
inline constexpr std::uint16_t light_multiplier = 0x465B;

// Children of material entries and texture maps.
inline constexpr std::uint16_t material_name = 0xA000;
inline constexpr std::uint16_t ambient = 0xA010;
inline constexpr std::uint16_t diffuse = 0xA020;
inline constexpr std::uint16_t specular = 0xA030;
inline constexpr std::uint16_t shininess = 0xA040;
inline constexpr std::uint16_t shininess_strength = 0xA041;
inline constexpr std::uint16_t transparency = 0xA050;
inline constexpr std::uint16_t two_sided = 0xA081;
inline constexpr std::uint16_t self_illumination = 0xA084;
inline constexpr std::uint16_t texture_map = 0xA200;
inline constexpr std::uint16_t map_name = 0xA300;

// Children of a texture map: how much of it shows and where it lies.
inline constexpr std::uint16_t map_tiling = 0xA351;
inline constexpr std::uint16_t map_u_scale = 0xA354;
inline constexpr std::uint16_t map_v_scale = 0xA356;
inline constexpr std::uint16_t map_u_offset = 0xA358;
inline constexpr std::uint16_t map_v_offset = 0xA35A;
inline constexpr std::uint16_t map_rotation = 0xA35C;

// The other maps a material may hold, and their masks.
inline constexpr std::uint16_t specular_map = 0xA204;
inline constexpr std::uint16_t opacity_map = 0xA210;
inline constexpr std::uint16_t reflection_map = 0xA220;
inline constexpr std::uint16_t bump_map = 0xA230;
inline constexpr std::uint16_t second_texture_map = 0xA33A;
inline constexpr std::uint16_t shininess_map = 0xA33C;
inline constexpr std::uint16_t self_illumination_map = 0xA33D;
inline constexpr std::uint16_t texture_mask = 0xA33E;
inline constexpr std::uint16_t second_texture_mask = 0xA340;
inline constexpr std::uint16_t opacity_mask = 0xA342;
inline constexpr std::uint16_t bump_mask = 0xA344;
inline constexpr std::uint16_t shininess_mask = 0xA346;
inline constexpr std::uint16_t specular_mask = 0xA348;
inline constexpr std::uint16_t self_illumination_mask = 0xA34A;
inline constexpr std::uint16_t reflection_mask = 0xA34C;

// Children of the keyframer, and of its nodes.
inline constexpr std::uint16_t ambient_node = 0xB001;
inline constexpr std::uint16_t object_node = 0xB002;
inline constexpr std::uint16_t spot_light_node = 0xB007;  // camera, its target, omni light, spot target between
inline constexpr std::uint16_t node_header = 0xB010;
inline constexpr std::uint16_t instance_name = 0xB011;
inline constexpr std::uint16_t pivot = 0xB013;
inline constexpr std::uint16_t position_track = 0xB020;
inline constexpr std::uint16_t rotation_track = 0xB021;
inline constexpr std::uint16_t scale_track = 0xB022;
inline constexpr std::uint16_t node_id = 0xB030;

// Colour sub-chunks, of lights and of material colours.
inline constexpr std::uint16_t float_color = 0x0010;
inline constexpr std::uint16_t color24 = 0x0011;
inline constexpr std::uint16_t color24_gamma = 0x0012;
inline constexpr std::uint16_t float_color_gamma = 0x0013;

// Amount sub-chunks: a 16-bit whole percentage, or a float fraction.
inline constexpr std::uint16_t int_percentage = 0x0030;
inline constexpr std::uint16_t float_percentage = 0x0031;

}  // namespace tessvert::chunk_id
