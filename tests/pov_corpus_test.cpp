// The corpus beside the repository as POV-Ray scenes: every file that
// converts converts with --format pov --faithful, renders cleanly with the
// real POV-Ray, shows the model under the studio lights, and its faces,
// colours and corner normals are those that --faithful writes to the other
// format. Skipped when the shared folder is absent.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "tests/render_pov.hpp"
#include "tests/run_binary.hpp"

namespace {

namespace fs = std::filesystem;

// Faces by their three vertices' texts and colour text ("x y z|x y z|x y
// z|r g b"), each with its normals' texts ("x y z|x y z|x y z"; "flat" for
// a face drawn flat, "" without normals).
using face_table = std::map<std::string, std::vector<std::string>>;

// The "<...>" groups of a line, commas as spaces.
std::vector<std::string> vectors_of(const std::string& line) {
    std::vector<std::string> out;
    for (std::size_t at = line.find('<'); at != std::string::npos; at = line.find('<', at + 1)) {
        std::string v = line.substr(at + 1, line.find('>', at) - at - 1);
        std::replace(v.begin(), v.end(), ',', ' ');
        out.push_back(v);
    }
    return out;
}

// Whether three numbers all print as zero, with or without a sign.
bool zero(const std::string& n) {
    std::istringstream in(n);
    std::string x;
    for (int k = 0; k < 3; ++k)
        if (!(in >> x) || (x != "0.000000" && x != "-0.000000")) return false;
    return true;
}

// The identifier in a texture_list entry "  texture { T_name },".
std::string texture_id(const std::string& entry) {
    const std::size_t open = entry.find("texture { ");
    if (open == std::string::npos) return entry;
    const std::size_t start = open + 10;
    return entry.substr(start, entry.find(' ', start) - start);
}

// The numbers of the initial view: position, look-at point and field of
// view (seven), as the .vrx's first camera or the .pov's camera 0 gives them.
std::vector<std::string> initial_view(const std::string& text, const char* position, const char* fov) {
    const std::size_t at = text.find(position);
    if (at == std::string::npos) return {};
    const std::size_t look_at = text.find("look_at ", at), angle = text.find(fov, at);
    std::vector<std::string> view;
    for (const std::string& v : vectors_of(text.substr(at, text.find('\n', look_at) - at))) {
        std::istringstream numbers(v);
        for (std::string n; numbers >> n;) view.push_back(n);
    }
    view.push_back(text.substr(angle + std::strlen(fov), text.find('\n', angle) - angle - std::strlen(fov)));
    return view;
}

face_table faces_of_vrx(const std::string& inc) {
    face_table faces;
    std::istringstream lines(inc);
    std::string colour;
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("surface{color ", 0) == 0) {
            colour = line.substr(14, line.find(" ambient") - 14);
            continue;
        }
        const std::vector<std::string> v = vectors_of(line);
        const bool smooth = line.rfind("smooth_triangle", 0) == 0;
        if (v.size() != (smooth ? 6u : 3u)) continue;
        const std::size_t step = smooth ? 2 : 1;
        std::string normals = "flat";
        if (smooth && !zero(v[1]) && !zero(v[3]) && !zero(v[5])) normals = v[1] + "|" + v[3] + "|" + v[5];
        faces[v[0] + "|" + v[step] + "|" + v[2 * step] + "|" + colour].push_back(normals);
    }
    return faces;
}

face_table faces_of_pov(const std::string& pov, const std::string& inc, bool smooth) {
    std::map<std::string, std::string> colour_of;  // texture identifier -> "r g b"
    static const std::regex texture(
        R"(#declare (\w+) = texture \{ (?:pigment \{ )?(srgbf <([^,]+), ([^,]+), ([^,]+),)?)");
    std::string last;  // a material's texture with its map follows its plain one: its faces are of that colour
    for (std::sregex_iterator m(pov.begin(), pov.end(), texture), end; m != end; ++m) {
        if ((*m)[2].matched) last = (*m)[3].str() + " " + (*m)[4].str() + " " + (*m)[5].str();
        colour_of[(*m)[1]] = last;
    }
    face_table faces;
    std::vector<std::string> vertices, normals, textures, face_lines, normal_lines;
    std::vector<std::string>* section = nullptr;
    std::istringstream lines(inc);
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("#declare ", 0) == 0) {
            for (auto* list : {&vertices, &normals, &textures, &face_lines, &normal_lines}) list->clear();
        } else if (line.find("vertex_vectors {") != std::string::npos) {
            section = &vertices;
        } else if (line.find("normal_vectors {") != std::string::npos) {
            section = &normals;
        } else if (line.find("texture_list {") != std::string::npos) {
            section = &textures;
        } else if (line.find("face_indices {") != std::string::npos) {
            section = &face_lines;
        } else if (line.find("normal_indices {") != std::string::npos) {
            section = &normal_lines;
        } else if (line == "  }") {
            section = nullptr;
        } else if (line == "}") {
            std::vector<std::string> texture_ids;
            for (const std::string& entry : textures) texture_ids.push_back(texture_id(entry));
            for (std::size_t j = 0; j < face_lines.size(); ++j) {
                std::istringstream f(vectors_of(face_lines[j]).at(0));
                std::size_t a, b, c;
                f >> a >> b >> c;
                const std::size_t t = std::stoul(face_lines[j].substr(face_lines[j].find('>') + 2));
                const std::string& id = texture_ids.at(t);
                std::string n;
                if (smooth) {
                    std::istringstream ni(vectors_of(normal_lines.at(j)).at(0));
                    std::size_t x, y, z;
                    ni >> x >> y >> z;
                    n = normals.at(x) + "|" + normals.at(y) + "|" + normals.at(z);
                }
                faces[vertices.at(a) + "|" + vertices.at(b) + "|" + vertices.at(c) + "|" + colour_of.at(id)].push_back(
                    n);
            }
        } else if (section == &vertices || section == &normals) {
            section->push_back(vectors_of(line).at(0));
        } else if (section != nullptr) {
            section->push_back(line);
        }
    }
    return faces;
}

// Whether the POV-Ray faces are the other format's: the same faces in the
// same colours, each smooth one with the same normals, each flat one with
// one normal at its three corners.
void expect_same_faces(const face_table& vrx, const face_table& pov) {
    ASSERT_EQ(vrx.size(), pov.size());
    for (const auto& [key, vrx_normals] : vrx) {
        const auto found = pov.find(key);
        ASSERT_NE(found, pov.end()) << key;
        std::vector<std::string> left = found->second;
        ASSERT_EQ(left.size(), vrx_normals.size()) << key;
        for (const std::string& n : vrx_normals) {
            if (n == "flat") continue;
            const auto same = std::find(left.begin(), left.end(), n);
            ASSERT_NE(same, left.end()) << key << " with normals " << n;
            left.erase(same);
        }
        for (const std::string& n : left) {
            const std::size_t bar = n.find('|');
            EXPECT_EQ(n, n.substr(0, bar) + "|" + n.substr(0, bar) + "|" + n.substr(0, bar)) << key;
        }
    }
}

// Whether some pixel is brighter than the scene's background (by more
// than the noise of rounding): the model shows.
bool shows_something(const testkit::picture& p, const std::string& pov) {
    static const std::regex background(R"(background \{ srgb <([^,]+), ([^,]+), ([^>]+)>)");
    std::smatch m;
    if (!std::regex_search(pov, m, background)) return false;
    const double bg = 255 * std::max({std::stod(m[1]), std::stod(m[2]), std::stod(m[3])});
    for (std::size_t i = 0; i < p.rgb.size(); i += 3)
        if (std::max({p.rgb[i], p.rgb[i + 1], p.rgb[i + 2]}) > bg + 8) return true;
    return false;
}

}  // namespace

TEST(PovCorpus, EveryFileThatConvertsRendersCleanlyWithTheFacesOfTheFaithfulOutput) {
    const fs::path shared = e2e::shared_dir();
    if (shared.empty() || !fs::is_directory(shared / "corpus" / "3ds")) GTEST_SKIP() << "no shared corpus";
    REQUIRE_POVRAY();
    std::vector<fs::path> files;
    for (const auto& entry : fs::recursive_directory_iterator(shared / "corpus" / "3ds")) {
        std::string ext = entry.path().extension().string();
        std::transform(ext.begin(), ext.end(), ext.begin(), ::tolower);
        if (ext == ".3ds") files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    ASSERT_FALSE(files.empty());
    // Each file's scene in a folder of its own, all rendered at the end,
    // several at once.
    testkit::temp_dir root;
    std::vector<std::pair<fs::path, fs::path>> scenes;  // the file, its folder
    for (const fs::path& file : files) {
        SCOPED_TRACE(file.string());
        const fs::path dir = root.path / std::to_string(&file - files.data());
        fs::create_directory(dir);
        // The other format writes the keyframer's copies out, where POV-Ray
        // places the declared mesh again: its faces are compared without them.
        const e2e::result vrx =
            e2e::run(dir, {"-i", file.string(), "-o", "v", "--materials", "--smoothing", "--frame", "--headlight"});
        if (vrx.exit_code != 1) continue;  // a file that does not convert
        // Under the studio rig, whose lights change no face: any model shows.
        const e2e::result pov =
            e2e::run(dir, {"-i", file.string(), "-o", "p", "--faithful", "--format", "pov", "--lights", "studio"});
        ASSERT_EQ(pov.exit_code, 1) << pov.out;
        expect_same_faces(
            faces_of_vrx(testkit::read_file(dir / "v.inc")),
            faces_of_pov(testkit::read_file(dir / "p.pov"), testkit::read_file(dir / "p.mesh.inc"), true));
        // Both languages show the same view of everything drawn, the
        // keyframer's copies included.
        const e2e::result same = e2e::run(dir, {"-i", file.string(), "-o", "f", "--faithful"});
        ASSERT_EQ(same.exit_code, 1) << same.out;
        const std::vector<std::string> view = initial_view(testkit::read_file(dir / "f.vrx"), "position ", "fov ");
        EXPECT_EQ(view.size(), 7u);
        EXPECT_EQ(view, initial_view(testkit::read_file(dir / "p.pov"), "location ", "angle "));
        const auto faces = [](const std::string& out) { return out.substr(out.find("Number of faces:")); };
        EXPECT_EQ(faces(same.out).substr(0, faces(same.out).find('\n')),
                  faces(pov.out).substr(0, faces(pov.out).find('\n')));
        scenes.emplace_back(file, dir);
    }
    EXPECT_GE(scenes.size(), 40u);
    std::vector<fs::path> folders;
    for (const auto& scene : scenes) folders.push_back(scene.second);
    const std::vector<pov::render_result> pictures = pov::render_all(folders, "p.pov", 32, 24);
    for (std::size_t i = 0; i < scenes.size(); ++i) {
        SCOPED_TRACE(scenes[i].first.string());
        EXPECT_CLEAN_RENDER(pictures[i]);
        EXPECT_TRUE(shows_something(pictures[i].picture, testkit::read_file(scenes[i].second / "p.pov")));
    }
}
