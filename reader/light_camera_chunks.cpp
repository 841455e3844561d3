#include <cmath>

#include "reader/chunk_ids.hpp"
#include "reader/handlers.hpp"

namespace tessvert {

namespace {

vec3 load_vec3(const unsigned char* p) {
    return vec3{load_f32(p), load_f32(p + 4), load_f32(p + 8)};
}

}  // namespace

// The sub-chunk actions read only their fixed data, whatever the declared
// length: what a sub-chunk holds behind it is met by the same loop next.
void read_light(chunk_reader& r, scene& s, chunk_header& h) {
    light& l = s.lights.back();
    unsigned char raw[20];
    read_fixed(r, h, raw, 12);
    l.position = load_vec3(raw);
    l.is_spot = 0;
    l.multiplier = 1.0f;

    read_children(r, h, [&](chunk_header& sub) {
        switch (sub.id) {
        case chunk_id::float_color:
            read_fixed(r, sub, raw, 12);
            l.color = {load_f32(raw), load_f32(raw + 4), load_f32(raw + 8)};
            l.has_float_color = 1;
            return true;
        case chunk_id::color24:
            read_fixed(r, sub, raw, 3);
            l.color24 = {raw[0], raw[1], raw[2]};
            return true;
        case chunk_id::spotlight:
            read_fixed(r, sub, raw, 20);
            l.target = load_vec3(raw);
            l.hotspot = load_f32(raw + 12);
            l.falloff = load_f32(raw + 16);
            l.is_spot = 1;
            return true;
        case chunk_id::light_multiplier: {
            // Read to its end like a chunk that is skipped; a multiplier
            // that is not a finite number is not taken.
            if (read_payload(r, sub, raw, 4) == 4 && std::isfinite(load_f32(raw))) l.multiplier = load_f32(raw);
            return true;
        }
        case chunk_id::light_off:
            // Its presence is the flag; a payload, if any, is read past.
            l.is_off = 1;
            skip_chunk(r, sub);
            return true;
        default:
            return false;
        }
    });
}

// 32 bytes of fixed data; the camera's sub-chunks are read past unseen.
void read_camera(chunk_reader& r, scene& s, chunk_header& h) {
    camera& c = s.cameras.back();
    unsigned char raw[32];
    read_fixed(r, h, raw, 32);
    c.position = load_vec3(raw);
    c.target = load_vec3(raw + 12);
    c.bank = load_f32(raw + 24);
    c.lens = load_f32(raw + 28);
    skip_chunk(r, h);
}

}  // namespace tessvert
