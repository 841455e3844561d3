#include "writers/common/output_file.hpp"

#include <cerrno>
#include <cstdio>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "writers/common/live_temporaries.hpp"

namespace tessvert {

namespace {

// Links followed before giving up, as the system itself does.
constexpr int max_links = 40;

void fail(output_file& out, int error) {
    if (out.error == 0) out.error = error;
}

void discard_temp(output_file& out) {
    if (out.fd >= 0) ::close(out.fd);
    out.fd = -1;
    if (!out.temp_name.empty()) {
        // Removed before its entry is dropped: a signal in between removes
        // nothing that is still there.
        ::unlinkat(out.dir_fd, out.temp_name.c_str(), 0);
        forget_live_temporary(out.live_entry);
    }
    out.live_entry = -1;
    out.temp_name.clear();
}

// Writes `left` bytes from `p`, in as many calls as it takes.
void write_all(output_file& out, const char* p, std::size_t left) {
    while (left > 0 && !out.write_failed) {
        ssize_t n = ::write(out.fd, p, left);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            fail(out, n < 0 ? errno : EIO);
            out.write_failed = true;  // the rest of the text is dropped
            break;
        }
        p += n;
        left -= static_cast<std::size_t>(n);
    }
}

void close_directory(output_file& out) {
    if (out.dir_fd >= 0) ::close(out.dir_fd);
    out.dir_fd = -1;
}

}  // namespace

std::string follow_links(const std::string& path) {
    std::string at = path;
    for (int hop = 0; hop < max_links; ++hop) {
        struct stat st {};
        if (::lstat(at.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) break;
        std::string to(static_cast<std::size_t>(st.st_size > 0 ? st.st_size : 255) + 1, '\0');
        const ssize_t n = ::readlink(at.c_str(), to.data(), to.size());
        if (n <= 0 || static_cast<std::size_t>(n) >= to.size()) break;  // changed under us: keep what we have
        to.resize(static_cast<std::size_t>(n));
        const std::size_t slash = at.rfind('/');
        at = to.front() == '/' || slash == std::string::npos ? to : at.substr(0, slash + 1) + to;
    }
    return at;
}

namespace {

// Creates a new temporary in the directory, recorded before it exists.
bool create_temp(output_file& out) {
    const std::string stem = "tessvert-" + std::to_string(::getpid()) + "-";
    // A batch may write two temporaries for each of 256 threads into one
    // directory at once: each takes the first number that is free.
    for (int attempt = 0; attempt < 1000; ++attempt) {
        out.temp_name = stem + std::to_string(attempt) + ".tmp";
        out.live_entry = record_live_temporary(out.dir_fd, out.temp_name.c_str());
        // New files get 0666 less the umask, as any file the user creates.
        out.fd = ::openat(out.dir_fd, out.temp_name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (out.fd >= 0) return true;
        const int error = errno;
        forget_live_temporary(out.live_entry);
        out.live_entry = -1;
        out.temp_name.clear();
        if (error != EEXIST) {
            fail(out, error);
            return false;
        }
    }
    fail(out, EEXIST);
    return false;
}

}  // namespace

output_file::~output_file() {
    discard_temp(*this);
    close_directory(*this);
}

bool open_output(output_file& out, const std::string& path) {
    out.path = path;
    out.in_place = false;
    out.used = 0;
    out.write_failed = false;
    out.error = 0;
    out.opened = false;
    const std::string target = follow_links(path);
    const std::size_t slash = target.rfind('/');
    const std::string dir = slash == std::string::npos ? "." : slash == 0 ? "/" : target.substr(0, slash);
    out.target_name = slash == std::string::npos ? target : target.substr(slash + 1);
    out.dir_fd = ::open(dir.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (out.dir_fd < 0) {
        fail(out, errno);
        return false;
    }
    // A file that is replaced keeps its permission bits; a name that cannot
    // be a file (too long, say) fails here rather than after the writing.
    struct stat old {};
    const bool replaces = ::fstatat(out.dir_fd, out.target_name.c_str(), &old, 0) == 0;
    if (!replaces && errno != ENOENT) {
        fail(out, errno);
        close_directory(out);
        return false;
    }
    if (replaces && writes_in_place(old.st_mode)) {
        // A pipe or a device is written as it is, as cp writes it: its
        // reader gets the text, and the node stays. Opening a pipe waits
        // for its reader.
        out.fd = ::openat(out.dir_fd, out.target_name.c_str(), O_WRONLY | O_CLOEXEC | O_NOFOLLOW);
        struct stat now {};
        if (out.fd >= 0 && (::fstat(out.fd, &now) != 0 || !writes_in_place(now.st_mode))) {
            ::close(out.fd);  // replaced meanwhile by something else
            out.fd = -1;
            errno = EEXIST;
        }
        if (out.fd < 0) {
            fail(out, errno);
            close_directory(out);
            return false;
        }
        out.in_place = true;
        out.opened = true;
        return true;
    }
    if (!create_temp(out)) {
        close_directory(out);
        return false;
    }
    if (replaces && S_ISREG(old.st_mode)) ::fchmod(out.fd, old.st_mode & 07777);
    out.opened = true;
    return true;
}

void discard_output(output_file& out) {
    discard_temp(out);
    close_directory(out);
    out.used = 0;
    out.opened = false;
    out.in_place = false;
}

void flush_output(output_file& out) {
    const std::size_t n = out.used;
    out.used = 0;
    if (n > 0) write_all(out, out.buffer.get(), n);
}

void make_output_room(output_file& out) {
    flush_output(out);
    // Not zero-filled: only the pages that text reaches are ever touched.
    if (out.buffer == nullptr) out.buffer = std::make_unique_for_overwrite<char[]>(output_buffer_size);
}

void write_output(output_file& out, const char* data, std::size_t n) {
    flush_output(out);
    write_all(out, data, n);
}

bool finish_output(output_file& out) {
    if (out.fd < 0) return out.in_place ? out.opened && out.error == 0 : !out.temp_name.empty();
    flush_output(out);
    bool ok = !out.write_failed;
    if (::close(out.fd) != 0) {
        fail(out, errno);
        ok = false;
    }
    out.fd = -1;
    out.buffer.reset();  // its memory is not needed while the other output is written
    if (!ok) discard_temp(out);
    return ok;
}

namespace {

// Puts the finished temporary in place, replacing a file of that name or
// (replace false) never.
bool put_in_place(output_file& out, bool replace) {
    if (!out.opened || !finish_output(out)) return false;
    if (out.in_place) {
        // Written already; a name that had to be new was not.
        if (replace) return true;
        fail(out, EEXIST);
        discard_temp(out);
        return false;
    }
    const char* from = out.temp_name.c_str();
    const char* to = out.target_name.c_str();
    int done = replace ? ::renameat(out.dir_fd, from, out.dir_fd, to)
                       : ::renameat2(out.dir_fd, from, out.dir_fd, to, RENAME_NOREPLACE);
    if (done != 0 && !replace && (errno == EINVAL || errno == ENOSYS)) {
        // A file system without that kind of rename: a new link fails
        // likewise when the name is taken.
        done = ::linkat(out.dir_fd, from, out.dir_fd, to, 0);
        if (done == 0) ::unlinkat(out.dir_fd, from, 0);
    }
    if (done != 0) {
        fail(out, errno);
        discard_temp(out);
        return false;
    }
    forget_live_temporary(out.live_entry);
    out.live_entry = -1;
    out.temp_name.clear();
    return true;
}

}  // namespace

bool commit_output(output_file& out) {
    return put_in_place(out, true);
}

bool commit_output_as_new(output_file& out) {
    return put_in_place(out, false);
}

}  // namespace tessvert
