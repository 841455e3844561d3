#include "writers/common/map_images.hpp"

#include <cerrno>
#include <cstring>
#include <memory>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "writers/common/image_types.hpp"

namespace tessvert {

namespace {

char lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// What the entry at `path` is, its symbolic links not followed: empty for
// a regular file, else a few words ("a directory"); null when there is
// none.
const char* entry_kind(const std::string& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) return nullptr;
    if (S_ISREG(st.st_mode)) return "";
    if (S_ISDIR(st.st_mode)) return "a directory";
    if (S_ISLNK(st.st_mode)) return "a symbolic link, which is not followed";
    if (S_ISFIFO(st.st_mode)) return "a FIFO";
    if (S_ISSOCK(st.st_mode)) return "a socket";
    return "a device";
}

bool is_regular_file(const std::string& path) {
    const char* kind = entry_kind(path);
    return kind != nullptr && *kind == '\0';
}

// Closes a file descriptor when it goes.
struct fd_closer {
    int fd = -1;
    ~fd_closer() {
        if (fd >= 0) ::close(fd);
    }
};

// Reads up to `n` bytes at `offset`, as many calls as it takes; -1 on an
// error.
ssize_t read_full_at(int fd, char* to, std::size_t n, std::uint64_t offset) {
    std::size_t got = 0;
    while (got < n) {
        const ssize_t r = ::pread(fd, to + got, n - got, static_cast<off_t>(offset + got));
        if (r < 0 && errno == EINTR) continue;
        if (r < 0) return -1;
        if (r == 0) break;
        got += static_cast<std::size_t>(r);
    }
    return static_cast<ssize_t>(got);
}

constexpr std::size_t copy_block = std::size_t{1} << 16;

// Whether the regular file at `path` holds the bytes of `source`.
bool same_content(const std::string& path, const image_source& source) {
    const fd_closer other{::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC)};
    struct stat so {
    }, ss{};
    if (other.fd < 0 || ::fstat(other.fd, &so) != 0 || !S_ISREG(so.st_mode) || ::fstat(source.fd, &ss) != 0 ||
        static_cast<std::uint64_t>(so.st_size) != source.size)
        return false;
    if (so.st_dev == ss.st_dev && so.st_ino == ss.st_ino) return true;
    const auto ba = std::make_unique<char[]>(copy_block), bb = std::make_unique<char[]>(copy_block);
    for (std::uint64_t at = 0;; at += copy_block) {
        const ssize_t na = read_full_at(other.fd, ba.get(), copy_block, at);
        const ssize_t nb = read_full_at(source.fd, bb.get(), copy_block, at);
        if (na < 0 || na != nb || std::memcmp(ba.get(), bb.get(), static_cast<std::size_t>(na)) != 0) return false;
        if (na == 0) return true;
    }
}

// "stem-N.ext" of "stem.ext" ("name-N" without an extension).
std::string numbered(const std::string& name, int n) {
    const std::size_t dot = name.rfind('.');
    const std::size_t cut = dot == std::string::npos || dot == 0 ? name.size() : dot;
    return name.substr(0, cut) + "-" + std::to_string(n) + name.substr(cut);
}

// A name without its extension, as a renderer names its picture after
// the scene file.
std::string without_extension(const std::string& name) {
    const std::size_t dot = name.rfind('.');
    return dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
}

// Names in DOS's 8.3 form: a file saved as "UVTransformTestImg.png" is
// named "UVTRANSF.PNG" in the 3DS file. For a wanted name whose stem has
// the full 8 characters, the one regular file in `dir` whose longer stem
// begins with them and whose extension is the same (any case); empty when
// there is none or more than one.
std::string find_long_name(const std::string& dir, const std::string& wanted) {
    const std::size_t dot = wanted.rfind('.');
    if (dot != 8) return {};
    const std::string_view stem = std::string_view(wanted).substr(0, 8), ext = std::string_view(wanted).substr(dot);
    DIR* listing = ::opendir(dir.c_str());
    if (listing == nullptr) return {};
    std::string found;
    int matches = 0;
    while (const dirent* entry = ::readdir(listing)) {
        const std::string_view name = entry->d_name;
        const std::size_t name_dot = name.rfind('.');
        if (name_dot == std::string_view::npos || name_dot <= 8 || !equal_ignoring_case(name.substr(0, 8), stem) ||
            !equal_ignoring_case(name.substr(name_dot), ext) || !is_regular_file(dir + "/" + std::string(name)))
            continue;
        found = name;
        ++matches;
    }
    ::closedir(listing);
    return matches == 1 ? found : std::string{};
}

}  // namespace

bool equal_ignoring_case(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (lower(a[i]) != lower(b[i])) return false;
    return true;
}

std::string map_file_part(std::string_view map_name) {
    const std::size_t cut = map_name.find_last_of("/\\:");
    return std::string(cut == std::string_view::npos ? map_name : map_name.substr(cut + 1));
}

std::string folder_of(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

map_image_found find_map_image(const std::string& input_path, std::string_view map_name) {
    map_image_found found;
    const std::string wanted = map_file_part(map_name);
    if (wanted.empty() || wanted == "." || wanted == "..") return found;
    const std::string dir = folder_of(input_path);
    const std::string exact = dir + "/" + wanted;
    if (const char* kind = entry_kind(exact)) {
        if (*kind == '\0') {
            found.path = exact;
            return found;
        }
        found.other = exact;
        found.other_kind = kind;
    }
    DIR* listing = ::opendir(dir.c_str());
    if (listing == nullptr) return found;
    // Of several names that differ only in case, the first in sorted order,
    // so that the choice does not depend on the directory's order.
    std::string regular, other;
    const char* other_kind = nullptr;
    while (const dirent* entry = ::readdir(listing)) {
        const std::string_view name = entry->d_name;
        if (!equal_ignoring_case(name, wanted)) continue;
        const char* kind = entry_kind(dir + "/" + std::string(name));
        if (kind == nullptr) continue;
        if (*kind == '\0' && (regular.empty() || name < regular)) regular = name;
        if (*kind != '\0' && (other.empty() || name < other)) other = name, other_kind = kind;
    }
    ::closedir(listing);
    if (regular.empty()) regular = find_long_name(dir, wanted);
    if (!regular.empty()) {
        found = {dir + "/" + regular, {}, {}};
    } else if (found.other.empty() && !other.empty()) {
        found.other = dir + "/" + other;
        found.other_kind = other_kind;
    }
    return found;
}

image_source::~image_source() {
    if (fd >= 0) ::close(fd);
}

bool open_image_source(image_source& source, const std::string& path, int& error) {
    // Not through a link, and no wait for a FIFO's writer: the lookup saw a
    // regular file, but the name may stand for something else by now.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        error = errno;
        return false;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        error = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
        ::close(fd);
        return false;
    }
    if (source.fd >= 0) ::close(source.fd);
    source.fd = fd;
    source.size = static_cast<std::uint64_t>(st.st_size);
    source.mode = st.st_mode & 07777;
    return true;
}

std::string_view image_source_format(const image_source& source, int& error) {
    unsigned char head[image_head_size];
    const ssize_t n = read_full_at(source.fd, reinterpret_cast<char*>(head), sizeof head, 0);
    if (n < 0) error = errno;
    if (n <= 0) return {};
    return image_format_of(head, static_cast<std::size_t>(n), source.size);
}

copy_name_claim::~copy_name_claim() {
    if (claims == nullptr) return;
    const std::lock_guard lock(claims->mutex);
    claims->paths.erase(path);
}

copy_place copies_beside(const std::string& scene_path, copy_name_claims* claims) {
    // A scene file that is a link is written where the link ends: its mesh
    // file and images go there too.
    const std::string real = follow_links(scene_path);
    const std::size_t slash = real.rfind('/');
    return {folder_of(real), without_extension(real.substr(slash == std::string::npos ? 0 : slash + 1)) + "-", claims};
}

std::string mesh_file_beside(const std::string& scene_path, const std::string& include_path) {
    const std::string real_folder = folder_of(follow_links(scene_path)), folder = folder_of(scene_path);
    if (real_folder == folder) return include_path;
    struct stat a {
    }, b{};
    if (::stat(real_folder.c_str(), &a) == 0 && ::stat(folder.c_str(), &b) == 0 && a.st_dev == b.st_dev &&
        a.st_ino == b.st_ino)
        return include_path;
    const std::size_t slash = include_path.rfind('/');
    return real_folder + "/" + include_path.substr(slash == std::string::npos ? 0 : slash + 1);
}

copy_plan plan_copy(const copy_place& place, const std::string& wanted, const image_source& source,
                    const std::set<std::string>& taken, copy_name_claim& claim) {
    // Enough names for any folder a user keeps; past them the image is
    // not copied rather than searched for without end.
    constexpr int max_tries = 1000;
    for (int n = 1; n <= max_tries; ++n) {
        const std::string name = n == 1 ? wanted : numbered(wanted, n);
        if (taken.count(name) != 0) continue;
        const std::string path = place.folder + "/" + name;
        // A scene there would render its picture onto this name.
        if (entry_kind(place.folder + "/" + without_extension(name) + ".pov") != nullptr) continue;
        {
            // Looked at and claimed at once: a conversion that puts its copy
            // in place gives up its claim only after the file is there.
            std::unique_lock<std::mutex> lock;
            if (place.claims != nullptr) {
                lock = std::unique_lock(place.claims->mutex);
                if (place.claims->paths.count(path) != 0) continue;
            }
            struct stat st {};
            if (::lstat(path.c_str(), &st) != 0) {
                if (errno != ENOENT) continue;
                if (place.claims != nullptr) {
                    place.claims->paths.insert(path);
                    claim.claims = place.claims;
                    claim.path = path;
                }
                return {name, false};
            }
            if (!S_ISREG(st.st_mode)) continue;
        }
        if (same_content(path, source)) return {name, true};
    }
    return {};
}

bool write_image_copy(output_file& out, const image_source& source, const std::string& target, int& read_error) {
    if (!open_output(out, target)) return false;
    // No more readable than the image: a private file stays private.
    struct stat st {};
    if (!out.in_place && ::fstat(out.fd, &st) == 0) ::fchmod(out.fd, st.st_mode & source.mode & 0777);
    const auto block = std::make_unique<char[]>(copy_block);
    bool ok = true;
    for (std::uint64_t at = 0; ok;) {
        const ssize_t n = read_full_at(source.fd, block.get(), copy_block, at);
        if (n < 0) {
            read_error = errno;
            ok = false;
        }
        if (n <= 0) break;
        write_output(out, block.get(), static_cast<std::size_t>(n));
        ok = !out.write_failed;
        at += static_cast<std::uint64_t>(n);
    }
    if (!ok) out.write_failed = true;
    return finish_output(out) && ok;
}

}  // namespace tessvert
