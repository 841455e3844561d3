// A library that the end-to-end tests preload into the real binary
// (LD_PRELOAD) to make one chosen system call fail, or to send a signal
// right at it, without any timing. Set in the child's environment:
//
//   TESSVERT_FAULT_READ_AFTER=N    reads (read(), pread()) from descriptors
//                                  above 2 deliver N bytes in all, then fail
//   TESSVERT_FAULT_WRITE_CALL=N    acts at the Nth write() to a descriptor
//                                  above 2 (the output files, not the console)
//   TESSVERT_FAULT_RENAME_CALL=N   acts at the Nth rename(), renameat() or
//                                  renameat2()
//   TESSVERT_FAULT_ERRNO=E         the chosen call fails with errno E
//                                  (EIO when unset)
//   TESSVERT_FAULT_SIGNAL=S        instead: raise(S), then make the call
//   TESSVERT_FAULT_TO_PROCESS=1    with it: send S to the process, as kill
//                                  does, so any thread that does not block
//                                  it may take it
//   TESSVERT_FAULT_SLOW_SIGNALS=MS a sigtimedwait() that takes a signal, or a
//                                  poll() that finds a descriptor ready,
//                                  returns MS milliseconds late, as from a
//                                  thread that lost the CPU right there
//   TESSVERT_FAULT_NEW_SIZE=N      every operator new of exactly N bytes
//                                  throws std::bad_alloc
//   TESSVERT_FAULT_NEW_WORKERS=1   with it: only on threads other than the
//                                  main one
//   TESSVERT_FAULT_MARK=PATH       a file created there once it threw, so a
//                                  test knows the fault fired
//
// Every other call passes through untouched.
#include <dlfcn.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdio.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <new>

namespace {

long setting(const char* name) {
    const char* text = std::getenv(name);
    return text ? std::strtol(text, nullptr, 10) : 0;
}

template <typename F>
F next_function(const char* name) {
    return reinterpret_cast<F>(::dlsym(RTLD_NEXT, name));
}

// Whether the call counted in `calls` is the chosen one (1-based); when it
// is and a signal is asked for, raises it and returns false, so that the
// call is made after the signal.
// The counters are shared by the threads of a batch.
bool fails_here(std::atomic<long>& calls, const char* variable) {
    const long chosen = setting(variable);
    if (chosen <= 0 || ++calls != chosen) return false;
    if (const long sig = setting("TESSVERT_FAULT_SIGNAL"); sig > 0) {
        if (setting("TESSVERT_FAULT_TO_PROCESS") == 1)
            ::kill(::getpid(), static_cast<int>(sig));
        else
            ::raise(static_cast<int>(sig));
        return false;
    }
    const long e = setting("TESSVERT_FAULT_ERRNO");
    errno = e > 0 ? static_cast<int>(e) : EIO;
    return true;
}

std::atomic<long> write_calls{0};
std::atomic<long> rename_calls{0};
std::atomic<long> bytes_read{0};

// A read of up to `count` bytes that `real_read` makes, cut or failed as
// TESSVERT_FAULT_READ_AFTER asks.
template <typename F>
ssize_t counted_read(int fd, size_t count, F real_read) {
    const long after = setting("TESSVERT_FAULT_READ_AFTER");
    if (fd <= 2 || after <= 0) return real_read(count);
    const long so_far = bytes_read.load();
    if (so_far >= after) {
        errno = EIO;
        return -1;
    }
    const size_t left = static_cast<size_t>(after - so_far);
    const ssize_t got = real_read(count < left ? count : left);
    if (got > 0) bytes_read += got;
    return got;
}

// After a call that found what it waited for: late, when asked.
void arrive_late(int found) {
    const long ms = setting("TESSVERT_FAULT_SLOW_SIGNALS");
    if (found > 0 && ms > 0) ::usleep(static_cast<useconds_t>(ms * 1000));
}

}  // namespace

extern "C" {

ssize_t read(int fd, void* buf, size_t count) {
    static auto real = next_function<ssize_t (*)(int, void*, size_t)>("read");
    return counted_read(fd, count, [&](size_t n) { return real(fd, buf, n); });
}

ssize_t pread(int fd, void* buf, size_t count, off_t offset) {
    static auto real = next_function<ssize_t (*)(int, void*, size_t, off_t)>("pread");
    return counted_read(fd, count, [&](size_t n) { return real(fd, buf, n, offset); });
}

ssize_t write(int fd, const void* buf, size_t count) {
    static auto real = next_function<ssize_t (*)(int, const void*, size_t)>("write");
    if (fd > 2 && fails_here(write_calls, "TESSVERT_FAULT_WRITE_CALL")) return -1;
    return real(fd, buf, count);
}

int rename(const char* from, const char* to) {
    static auto real = next_function<int (*)(const char*, const char*)>("rename");
    if (fails_here(rename_calls, "TESSVERT_FAULT_RENAME_CALL")) return -1;
    return real(from, to);
}

int renameat(int from_dir, const char* from, int to_dir, const char* to) {
    static auto real = next_function<int (*)(int, const char*, int, const char*)>("renameat");
    if (fails_here(rename_calls, "TESSVERT_FAULT_RENAME_CALL")) return -1;
    return real(from_dir, from, to_dir, to);
}

int renameat2(int from_dir, const char* from, int to_dir, const char* to, unsigned int flags) {
    static auto real = next_function<int (*)(int, const char*, int, const char*, unsigned int)>("renameat2");
    if (fails_here(rename_calls, "TESSVERT_FAULT_RENAME_CALL")) return -1;
    return real(from_dir, from, to_dir, to, flags);
}

int sigtimedwait(const sigset_t* set, siginfo_t* info, const struct timespec* timeout) {
    static auto real = next_function<int (*)(const sigset_t*, siginfo_t*, const struct timespec*)>("sigtimedwait");
    const int sig = real(set, info, timeout);
    arrive_late(sig);
    return sig;
}

int poll(struct pollfd* fds, nfds_t n, int timeout) {
    static auto real = next_function<int (*)(struct pollfd*, nfds_t, int)>("poll");
    const int ready = real(fds, n, timeout);
    arrive_late(ready);
    return ready;
}

}  // extern "C"

// Ahead of the C++ runtime's own (or a sanitizer's), which it calls for
// every other size.
void* operator new(std::size_t size) {
    static const long chosen = setting("TESSVERT_FAULT_NEW_SIZE");
    static const bool workers_only = setting("TESSVERT_FAULT_NEW_WORKERS") == 1;
    if (chosen > 0 && size == static_cast<std::size_t>(chosen) &&
        (!workers_only || ::syscall(SYS_gettid) != ::getpid())) {
        if (const char* mark = std::getenv("TESSVERT_FAULT_MARK")) {
            const int fd = ::open(mark, O_WRONLY | O_CREAT, 0644);
            if (fd >= 0) ::close(fd);
        }
        throw std::bad_alloc();
    }
    static auto real = next_function<void* (*)(std::size_t)>("_Znwm");
    return real(size);
}
