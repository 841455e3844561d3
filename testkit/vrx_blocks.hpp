// The blocks of a .vrx scene file as the converter writes them, for tests
// that compare whole files: a camera, the settings, a light.
#pragma once

#include <string>

namespace testkit {

// A camera block; the numbers as written ("20.000000 20.000000 20.000000").
inline std::string camera_block(const std::string& position, const std::string& look_at, const std::string& fov) {
    return "camera\n{\n\tposition <" + position + ">\n\tlook_at <" + look_at +
           ">\n\tup <0.000000 0.000000 1.000000>\n\tfov " + fov + "\n\tratio 1.333300\n}\n";
}

// The fixed settings block, its image named `name`, with the blank line
// before it.
inline std::string settings_block(const std::string& name) {
    return "\nsettings\n{\n\tdisplay 1024 768\n\toutput_type \"bmp\"\n\toutput_name \"" + name +
           "\"\n\tjitter \"no\"\n\tantialiasing \"adaptive\"\n\taa_distance 32\n\tbackground 0.0 0.0 0.0\n}\n";
}

// A light block.
inline std::string light_block(const std::string& position, const std::string& color) {
    return "light\n{\n\tposition <" + position + ">\n\tcolor " + color + "\n\tattenuation_type \"none\"\n}\n";
}

}  // namespace testkit
