// LD_PRELOAD=libkoravel_fault_shim.so makes one call of open, write, fsync, fdatasync,
// close, rename, flock or ftruncate on the files of one folder fail, the way a full or failing
// disk makes it fail, to prove that nothing saved is ever lost half-way.
//
//   KORAVEL_FAULT_DIR   the folder (absolute); calls on files elsewhere never count
//   KORAVEL_FAULT_CALL  N: the Nth counted call fails (1 is the first)
//   KORAVEL_FAULT_KIND  eio, enospc, eintr, or short (the Nth call, if a write, writes
//                       half its bytes and says so)
//   KORAVEL_FAULT_THEN  optional: eio or enospc for every counted call after the Nth, a
//                       disk that fails for good
//   KORAVEL_FAULT_LOG   a file that gets a line per counted call: "N call path fd", and
//                       " fault" on the one that failed
//
// An interrupted or failed close has closed the descriptor all the same, as on Linux.

#include <dlfcn.h>
#include <fcntl.h>
#include <limits.h>
#include <sys/file.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

namespace {

constexpr int kMaxFd = 4096;

enum class Kind { None, Io, Space, Interrupt, Short };

template <class Function>
Function Real(const char* name) {
    return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

using OpenFn = int (*)(const char*, int, ...);
using WriteFn = ssize_t (*)(int, const void*, size_t);
using FdFn = int (*)(int);
using RenameFn = int (*)(const char*, const char*);
using FlockFn = int (*)(int, int);
using TruncateFn = int (*)(int, off_t);

struct Shim {
    OpenFn open = Real<OpenFn>("open");
    OpenFn open64 = Real<OpenFn>("open64");
    WriteFn write = Real<WriteFn>("write");
    FdFn fsync = Real<FdFn>("fsync");
    FdFn fdatasync = Real<FdFn>("fdatasync");
    FdFn close = Real<FdFn>("close");
    RenameFn rename = Real<RenameFn>("rename");
    FlockFn flock = Real<FlockFn>("flock");
    TruncateFn ftruncate = Real<TruncateFn>("ftruncate");
    TruncateFn ftruncate64 = Real<TruncateFn>("ftruncate64");

    std::string dir = Env("KORAVEL_FAULT_DIR");
    long call = std::atol(Env("KORAVEL_FAULT_CALL").c_str());
    Kind kind = KindOf(Env("KORAVEL_FAULT_KIND"));
    Kind then = KindOf(Env("KORAVEL_FAULT_THEN"));
    std::string log = Env("KORAVEL_FAULT_LOG");
    std::atomic<long> counted{0};
    std::atomic<bool> failing{false};
    std::atomic<bool> watched[kMaxFd] = {};
    std::string paths[kMaxFd];  // under logMutex
    std::mutex logMutex;

    static std::string Env(const char* name) {
        const char* value = std::getenv(name);
        return value != nullptr ? value : "";
    }
    static Kind KindOf(const std::string& name) {
        if (name == "eio") return Kind::Io;
        if (name == "enospc") return Kind::Space;
        if (name == "eintr") return Kind::Interrupt;
        if (name == "short") return Kind::Short;
        return Kind::None;
    }

    bool inDir(const char* path) const {
        if (dir.empty() || path == nullptr) return false;
        std::string full = path;
        if (path[0] != '/') {
            char cwd[PATH_MAX];
            if (getcwd(cwd, sizeof cwd) == nullptr) return false;
            full = std::string(cwd) + "/" + path;
        }
        return full.compare(0, dir.size(), dir) == 0 &&
               (full.size() == dir.size() || full[dir.size()] == '/');
    }
    bool watchedFd(int fd) const { return fd >= 0 && fd < kMaxFd && watched[fd].load(); }
    // What the log names a descriptor by: its path, then the number.
    std::string nameOf(int fd) {
        const std::lock_guard lock(logMutex);
        return paths[fd] + " " + std::to_string(fd);
    }

    // Counts a call; the fault kind to play for it, or None.
    Kind count(const char* name, const std::string& what, bool isWrite = false) {
        const long n = ++counted;
        const bool hit = n == call && kind != Kind::None && (kind != Kind::Short || isWrite);
        // Only once the Nth call has failed: a short write of the Nth needs a write.
        failing = failing || hit;
        const Kind played = hit ? kind : failing ? then : Kind::None;
        if (!log.empty()) {
            const std::lock_guard lock(logMutex);
            const std::string line = std::to_string(n) + " " + name + " " + what +
                                     (hit                    ? " fault\n"
                                      : played != Kind::None ? " then\n"
                                                             : "\n");
            const int fd = open(log.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
            if (fd >= 0) {
                [[maybe_unused]] const ssize_t done = write(fd, line.data(), line.size());
                close(fd);
            }
        }
        return played;
    }
};

Shim& TheShim() {
    static Shim shim;
    return shim;
}

int Fail(Kind kind) {
    errno = kind == Kind::Space ? ENOSPC : kind == Kind::Interrupt ? EINTR : EIO;
    return -1;
}

int OpenWith(OpenFn real, const char* path, int flags, mode_t mode) {
    Shim& shim = TheShim();
    if (!shim.inDir(path)) return real(path, flags, mode);
    if (const Kind fault = shim.count("open", path); fault != Kind::None) return Fail(fault);
    const int fd = real(path, flags, mode);
    if (fd >= 0 && fd < kMaxFd) {
        const std::lock_guard lock(shim.logMutex);
        shim.paths[fd] = path;
        shim.watched[fd] = true;
    }
    return fd;
}

mode_t ModeArgument(int flags, va_list args) {
    return (flags & O_CREAT) != 0 || (flags & O_TMPFILE) == O_TMPFILE ? va_arg(args, mode_t) : 0;
}

template <class Call>
int FdCall(const char* name, int fd, Call real) {
    Shim& shim = TheShim();
    if (!shim.watchedFd(fd)) return real();
    if (const Kind fault = shim.count(name, shim.nameOf(fd)); fault != Kind::None)
        return Fail(fault);
    return real();
}

}  // namespace

extern "C" {

int open(const char* path, int flags, ...) {
    va_list args;
    va_start(args, flags);
    const mode_t mode = ModeArgument(flags, args);
    va_end(args);
    return OpenWith(TheShim().open, path, flags, mode);
}

int open64(const char* path, int flags, ...) {
    va_list args;
    va_start(args, flags);
    const mode_t mode = ModeArgument(flags, args);
    va_end(args);
    return OpenWith(TheShim().open64, path, flags, mode);
}

ssize_t write(int fd, const void* data, size_t size) {
    Shim& shim = TheShim();
    if (!shim.watchedFd(fd)) return shim.write(fd, data, size);
    const Kind fault = shim.count("write", shim.nameOf(fd), true);
    if (fault == Kind::Short && size > 1) return shim.write(fd, data, size / 2);
    if (fault != Kind::None && fault != Kind::Short) return Fail(fault);
    return shim.write(fd, data, size);
}

int fsync(int fd) {
    return FdCall("fsync", fd, [fd] { return TheShim().fsync(fd); });
}

int fdatasync(int fd) {
    return FdCall("fdatasync", fd, [fd] { return TheShim().fdatasync(fd); });
}

int close(int fd) {
    Shim& shim = TheShim();
    if (!shim.watchedFd(fd)) return shim.close(fd);
    shim.watched[fd] = false;
    const Kind fault = shim.count("close", shim.nameOf(fd));
    const int result = shim.close(fd);
    return fault != Kind::None ? Fail(fault) : result;
}

int rename(const char* from, const char* to) {
    Shim& shim = TheShim();
    if (!shim.inDir(from) && !shim.inDir(to)) return shim.rename(from, to);
    if (const Kind fault = shim.count("rename", to); fault != Kind::None) return Fail(fault);
    return shim.rename(from, to);
}

int flock(int fd, int operation) {
    return FdCall("flock", fd, [=] { return TheShim().flock(fd, operation); });
}

int ftruncate(int fd, off_t length) {
    return FdCall("ftruncate", fd, [=] { return TheShim().ftruncate(fd, length); });
}

int ftruncate64(int fd, off_t length) {
    return FdCall("ftruncate", fd, [=] { return TheShim().ftruncate64(fd, length); });
}

}  // extern "C"
