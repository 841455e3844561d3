// A 3DS camera's focal length (mm) to the renderer's field of view (degrees).
#pragma once

namespace tessvert {

// Single-precision scale factor, close to but not equal to 1 / 1.175.
inline constexpr float fov_scale = 0.85106385f;

double lens_to_fov(float lens);

}  // namespace tessvert
