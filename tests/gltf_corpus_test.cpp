// The corpus beside the repository in glTF: every file that converts
// converts with --format gltf --faithful into files the Khronos validator
// finds no fault in, and whose triangles, corner normals, mapping
// coordinates and colours, read back from the buffers, are those of the
// POV-Ray output of the same file and options. Skipped when the shared
// folder is absent.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <regex>
#include <sstream>

#include "tests/gltf_files.hpp"
#include "tests/run_binary.hpp"

namespace {

namespace fs = std::filesystem;
using testkit::json;

std::vector<fs::path> corpus_files() {
    std::vector<fs::path> files;
    const fs::path shared = e2e::shared_dir();
    if (shared.empty() || !fs::is_directory(shared / "corpus" / "3ds")) return files;
    for (const auto& entry : fs::recursive_directory_iterator(shared / "corpus" / "3ds")) {
        std::string ext = entry.path().extension().string();
        std::transform(ext.begin(), ext.end(), ext.begin(), ::tolower);
        if (ext == ".3ds") files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    return files;
}

// One mesh2 of the POV-Ray mesh file, its numbers as read.
struct pov_mesh {
    std::vector<std::array<double, 3>> vertices, normals;
    std::vector<std::array<double, 2>> uvs;
    std::vector<std::string> textures;              // texture identifiers
    std::vector<std::array<std::size_t, 4>> faces;  // a, b, c, texture
    std::vector<std::array<std::size_t, 3>> normal_faces, uv_faces;
};

std::vector<double> numbers_in(const std::string& line) {
    std::string text = line;
    for (char& c : text)
        if (c == '<' || c == '>' || c == ',') c = ' ';
    std::istringstream in(text);
    std::vector<double> out;
    for (double x; in >> x;) out.push_back(x);
    return out;
}

std::vector<pov_mesh> read_pov_meshes(const std::string& inc) {
    std::vector<pov_mesh> meshes;
    std::string section;
    std::istringstream lines(inc);
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("#declare ", 0) == 0) {
            meshes.emplace_back();
        } else if (line.size() > 2 && line[2] != ' ' && line.find(" { ") != std::string::npos) {
            section = line.substr(2, line.find(' ', 2) - 2);
        } else if (line.rfind("    ", 0) == 0 && !meshes.empty()) {
            pov_mesh& m = meshes.back();
            if (section == "texture_list") {
                const std::size_t at = line.find("texture { ") + 10;
                m.textures.push_back(line.substr(at, line.find(' ', at) - at));
                continue;
            }
            const std::vector<double> v = numbers_in(line);
            const auto index = [&](std::size_t k) { return static_cast<std::size_t>(v.at(k)); };
            if (section == "vertex_vectors") m.vertices.push_back({v.at(0), v.at(1), v.at(2)});
            if (section == "normal_vectors") m.normals.push_back({v.at(0), v.at(1), v.at(2)});
            if (section == "uv_vectors") m.uvs.push_back({v.at(0), v.at(1)});
            if (section == "face_indices") m.faces.push_back({index(0), index(1), index(2), index(3)});
            if (section == "normal_indices") m.normal_faces.push_back({index(0), index(1), index(2)});
            if (section == "uv_indices") m.uv_faces.push_back({index(0), index(1), index(2)});
        }
    }
    return meshes;
}

// What each declared texture of the POV-Ray scene shows: "r g b" of its
// colour as sRGB, or "image NAME".
std::map<std::string, std::string> pov_textures(const std::string& pov) {
    std::map<std::string, std::string> shown;
    static const std::regex plain(R"(#declare (\w+) = texture \{ pigment \{ srgbf <([^,]+), ([^,]+), ([^,]+),)");
    static const std::regex mapped(R"re(#declare (\w+) = texture \{ pigment \{[^\n]*image_map \{ \w+ "([^"]*)")re");
    for (std::sregex_iterator m(pov.begin(), pov.end(), plain), end; m != end; ++m)
        shown[(*m)[1]] = (*m)[2].str() + " " + (*m)[3].str() + " " + (*m)[4].str();
    for (std::sregex_iterator m(pov.begin(), pov.end(), mapped), end; m != end; ++m)
        shown[(*m)[1]] = std::string("image ").append((*m)[2].str());
    // A texture whose opacity, specular or self-illumination map varies it
    // over the surface: what its first entry shows (glTF says none of
    // those maps).
    static const std::regex varied_plain(
        R"(#declare (\w+) = texture \{ pigment_pattern \{[^\n]*?texture_map \{ \[0 pigment \{ srgbf <([^,]+), ([^,]+), ([^,]+),)");
    static const std::regex varied_mapped(
        R"re(#declare (\w+) = texture \{ pigment_pattern \{[^\n]*?texture_map \{ \[0 pigment \{[^\n]*?image_map \{ \w+ "([^"]*)")re");
    for (std::sregex_iterator m(pov.begin(), pov.end(), varied_plain), end; m != end; ++m)
        shown[(*m)[1]] = (*m)[2].str() + " " + (*m)[3].str() + " " + (*m)[4].str();
    for (std::sregex_iterator m(pov.begin(), pov.end(), varied_mapped), end; m != end; ++m)
        shown[(*m)[1]] = std::string("image ").append((*m)[2].str());
    return shown;
}

double srgb_of_linear(double c) {
    return c <= 0.0031308 ? 12.92 * c : 1.055 * std::pow(c, 1 / 2.4) - 0.055;
}

bool near(double a, double b, double tolerance) {
    return std::fabs(a - b) <= tolerance * std::max(1.0, std::fabs(b));
}

// Whether the glTF material shows what the POV-Ray texture shows.
void expect_same_look(const gltf::file& f, const json& material, const std::string& pov_look) {
    const json& pbr = material["pbrMetallicRoughness"];
    if (pov_look.rfind("image ", 0) == 0) {
        ASSERT_TRUE(pbr.has("baseColorTexture")) << pov_look;
        const json& texture = f.doc["textures"][pbr["baseColorTexture"]["index"].index()];
        // Each scene's copies are named after it: g-NAME beside g.gltf, p-NAME
        // beside p.pov.
        EXPECT_EQ(std::string("image p-")
                      .append(gltf::percent_decoded(f.doc["images"][texture["source"].index()]["uri"].text).substr(2)),
                  pov_look);
        return;
    }
    std::istringstream in(pov_look);
    for (std::size_t k = 0; k < 3; ++k) {
        double srgb = 0;
        in >> srgb;
        EXPECT_NEAR(srgb_of_linear(pbr["baseColorFactor"][k].value), srgb, 1.0 / 255) << pov_look;
    }
}

// Mesh `k` of the glTF against the POV-Ray mesh: primitive p holds the
// faces of texture p, in order.
void expect_same_mesh(const gltf::file& f, std::size_t k, const pov_mesh& pov,
                      const std::map<std::string, std::string>& looks) {
    const json& primitives = f.doc["meshes"][k]["primitives"];
    ASSERT_EQ(primitives.size(), pov.textures.size());
    for (std::size_t p = 0; p < primitives.size(); ++p) {
        const json& prim = primitives[p];
        const json& attributes = prim["attributes"];
        const std::vector<double> position = f.accessor(attributes["POSITION"].index());
        const std::vector<double> normal = f.accessor(attributes["NORMAL"].index());
        const std::vector<double> uv =
            attributes.has("TEXCOORD_0") ? f.accessor(attributes["TEXCOORD_0"].index()) : std::vector<double>{};
        const std::vector<double> indices = f.accessor(prim["indices"].index());
        expect_same_look(f, f.doc["materials"][prim["material"].index()], looks.at(pov.textures[p]));
        std::size_t j = 0;
        for (std::size_t t = 0; t < indices.size(); t += 3) {
            while (j < pov.faces.size() && pov.faces[j][3] != p) ++j;
            ASSERT_LT(j, pov.faces.size()) << "primitive " << p;
            for (std::size_t c = 0; c < 3; ++c) {
                const auto v = static_cast<std::size_t>(indices[t + c]);
                for (std::size_t a = 0; a < 3; ++a)
                    ASSERT_TRUE(near(position.at(3 * v + a), pov.vertices[pov.faces[j][c]][a], 1e-6))
                        << "mesh " << k << " face " << j;
                const std::array<double, 3>& n = pov.normals.at(pov.normal_faces.at(j)[c]);
                const double length = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
                for (std::size_t a = 0; a < 3; ++a)
                    ASSERT_NEAR(normal.at(3 * v + a), n[a] / length, 1e-5) << "mesh " << k << " face " << j;
                if (pov.uv_faces.empty()) {
                    ASSERT_TRUE(uv.empty());
                    continue;
                }
                const std::array<double, 2>& w = pov.uvs.at(pov.uv_faces.at(j)[c]);
                if (uv.empty()) continue;  // no material of the mesh shows its map
                ASSERT_TRUE(near(uv.at(2 * v), w[0], 1e-6)) << "mesh " << k << " face " << j;
                ASSERT_TRUE(near(1 - uv.at(2 * v + 1), w[1], 1e-6)) << "mesh " << k << " face " << j;
            }
            ++j;
        }
    }
}

}  // namespace

TEST(GltfCorpus, TrianglesNormalsMappingCoordinatesAndColoursAreThoseOfThePovRayOutput) {
    const std::vector<fs::path> files = corpus_files();
    if (files.empty()) GTEST_SKIP() << "no shared corpus";
    int compared = 0;
    for (const fs::path& file : files) {
        SCOPED_TRACE(file.string());
        testkit::temp_dir dir;
        const e2e::result pov = e2e::run(dir.path, {"-i", file.string(), "-o", "p", "--faithful", "--format", "pov"});
        if (pov.exit_code != 1) continue;  // a file that does not convert
        const e2e::result g = e2e::run(dir.path, {"-i", file.string(), "-o", "g", "--faithful", "--format", "gltf"});
        ASSERT_EQ(g.exit_code, 1) << g.out;
        const std::string pov_scene = testkit::read_file(dir / "p.pov");
        const std::vector<pov_mesh> meshes = read_pov_meshes(testkit::read_file(dir / "p.mesh.inc"));
        const std::map<std::string, std::string> looks = pov_textures(pov_scene);
        const gltf::file f = gltf::read(dir / "g.gltf");
        const std::size_t gltf_meshes = f.doc.has("meshes") ? f.doc["meshes"].size() : 0;
        ASSERT_LE(meshes.size(), gltf_meshes);
        for (std::size_t k = 0; k < meshes.size(); ++k) expect_same_mesh(f, k, meshes[k], looks);
        // Each copy POV-Ray places is a node of the glTF's (of the same mesh
        // or of a mesh of its own).
        std::size_t pov_copies = 0;
        std::istringstream lines(pov_scene);
        for (std::string line; std::getline(lines, line);)
            pov_copies += line.rfind("object { ", 0) == 0 && line.find(" matrix <") != std::string::npos;
        std::size_t mesh_nodes = 0;
        for (const json& node : f.doc["nodes"].items) mesh_nodes += node.has("mesh");
        EXPECT_EQ(mesh_nodes, meshes.size() + pov_copies);
        ++compared;
    }
    EXPECT_GE(compared, 40);
}

TEST(GltfCorpus, TheValidatorFindsNoErrorNorWarningInAnyFile) {
    const std::vector<fs::path> files = corpus_files();
    if (files.empty()) GTEST_SKIP() << "no shared corpus";
    REQUIRE_VALIDATOR();
    testkit::temp_dir dir;
    std::vector<fs::path> written;
    for (std::size_t k = 0; k < files.size(); ++k) {
        const std::string name = std::to_string(k) + "f";
        const e2e::result g =
            e2e::run(dir.path, {"-i", files[k].string(), "-o", name, "--faithful", "--format", "gltf"});
        if (g.exit_code == 1) written.push_back(dir / (name + ".gltf"));
    }
    EXPECT_GE(written.size(), 40u);
    EXPECT_EQ(gltf::validation_problems(written, dir.path), "");
}
