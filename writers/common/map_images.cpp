#include "writers/common/map_images.hpp"

#include <cerrno>
#include <cstring>
#include <memory>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tessvert {

namespace {

char lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool is_regular_file(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// Closes a file descriptor when it goes.
struct fd_closer {
    int fd = -1;
    ~fd_closer() {
        if (fd >= 0) ::close(fd);
    }
};

// Reads up to `n` bytes, as many calls as it takes; -1 on an error.
ssize_t read_full(int fd, char* to, std::size_t n) {
    std::size_t got = 0;
    while (got < n) {
        const ssize_t r = ::read(fd, to + got, n - got);
        if (r < 0 && errno == EINTR) continue;
        if (r < 0) return -1;
        if (r == 0) break;
        got += static_cast<std::size_t>(r);
    }
    return static_cast<ssize_t>(got);
}

constexpr std::size_t copy_block = std::size_t{1} << 16;

// Whether the two files hold the same bytes.
bool same_content(const std::string& a, const std::string& b) {
    struct stat sa {
    }, sb{};
    if (::stat(a.c_str(), &sa) != 0 || ::stat(b.c_str(), &sb) != 0 || sa.st_size != sb.st_size) return false;
    if (sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino) return true;
    const fd_closer fa{::open(a.c_str(), O_RDONLY | O_CLOEXEC)}, fb{::open(b.c_str(), O_RDONLY | O_CLOEXEC)};
    if (fa.fd < 0 || fb.fd < 0) return false;
    const auto ba = std::make_unique<char[]>(copy_block), bb = std::make_unique<char[]>(copy_block);
    for (;;) {
        const ssize_t na = read_full(fa.fd, ba.get(), copy_block), nb = read_full(fb.fd, bb.get(), copy_block);
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

std::string find_map_image(const std::string& input_path, std::string_view map_name) {
    const std::string wanted = map_file_part(map_name);
    if (wanted.empty() || wanted == "." || wanted == "..") return {};
    const std::string dir = folder_of(input_path);
    const std::string exact = dir + "/" + wanted;
    if (is_regular_file(exact)) return exact;
    DIR* listing = ::opendir(dir.c_str());
    if (listing == nullptr) return {};
    // Of several names that differ only in case, the first in sorted order,
    // so that the choice does not depend on the directory's order.
    std::string found;
    while (const dirent* entry = ::readdir(listing)) {
        const std::string_view name = entry->d_name;
        if (!equal_ignoring_case(name, wanted) || (!found.empty() && name >= found)) continue;
        if (is_regular_file(dir + "/" + std::string(name))) found = name;
    }
    ::closedir(listing);
    if (found.empty()) found = find_long_name(dir, wanted);
    return found.empty() ? std::string{} : dir + "/" + found;
}

copy_plan plan_copy(const std::string& out_dir, const std::string& wanted, const std::string& source,
                    const std::set<std::string>& taken) {
    // Enough names for any folder a user keeps; past them the image is
    // not copied rather than searched for without end.
    constexpr int max_tries = 1000;
    for (int n = 1; n <= max_tries; ++n) {
        const std::string name = n == 1 ? wanted : numbered(wanted, n);
        if (taken.count(name) != 0) continue;
        const std::string path = out_dir + "/" + name;
        struct stat st {};
        if (::lstat(path.c_str(), &st) != 0) {
            if (errno == ENOENT) return {name, false};
            continue;
        }
        if (S_ISREG(st.st_mode) && same_content(path, source)) return {name, true};
    }
    return {};
}

bool write_image_copy(output_file& out, const std::string& source, const std::string& target) {
    if (!open_output(out, target)) return false;
    const fd_closer in{::open(source.c_str(), O_RDONLY | O_CLOEXEC)};
    bool ok = in.fd >= 0;
    if (!ok) out.error = errno;
    const auto block = std::make_unique<char[]>(copy_block);
    while (ok) {
        const ssize_t n = read_full(in.fd, block.get(), copy_block);
        if (n < 0) {
            out.error = errno;
            ok = false;
        }
        if (n <= 0) break;
        write_output(out, block.get(), static_cast<std::size_t>(n));
        ok = !out.write_failed;
    }
    if (!ok) out.write_failed = true;
    return finish_output(out) && ok;
}

}  // namespace tessvert
