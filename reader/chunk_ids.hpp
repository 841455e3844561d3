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
inline constexpr std::uint16_t self_illumination = 0xA084;
inline constexpr std::uint16_t texture_map = 0xA200;
inline constexpr std::uint16_t map_name = 0xA300;

// Colour sub-chunks, of lights and of material colours.
inline constexpr std::uint16_t float_color = 0x0010;
inline constexpr std::uint16_t color24 = 0x0011;
inline constexpr std::uint16_t color24_gamma = 0x0012;
inline constexpr std::uint16_t float_color_gamma = 0x0013;

// Amount sub-chunks: a 16-bit whole percentage, or a float fraction.
inline constexpr std::uint16_t int_percentage = 0x0030;
inline constexpr std::uint16_t float_percentage = 0x0031;

}  // namespace tessvert::chunk_id
