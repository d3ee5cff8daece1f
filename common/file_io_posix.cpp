#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <random>
#include <thread>

#include "common/file_io.h"
#include "common/unique_fd.h"

namespace koravel::common {

namespace {

using Clock = std::chrono::steady_clock;

// How often a save that waits for another program's lock looks again.
constexpr std::chrono::milliseconds kLockPoll{50};

int WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return errno;
        if (n == 0) return EIO;
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return 0;
}

// An open that a signal interrupted is tried again.
int Open(const std::filesystem::path& path, int flags, mode_t mode = 0) {
    for (;;) {
        const int fd = ::open(path.c_str(), flags, mode);
        if (fd >= 0 || errno != EINTR) return fd;
    }
}

template <class Call>
int Retried(Call call) {
    for (;;) {
        if (call() == 0) return 0;
        if (errno != EINTR) return errno;
    }
}

enum class Lock { Held, Unsupported, Busy, Cancelled, Failed };

// Polled rather than blocking, so that the wait is bounded and can be called off.
Lock TakeLock(int fd, std::chrono::milliseconds wait, const std::atomic<bool>* cancel, int& error) {
    const auto deadline = Clock::now() + wait;
    for (;;) {
        if (cancel != nullptr && cancel->load()) return Lock::Cancelled;
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0) return Lock::Held;
        const int code = errno;
        if (code == ENOLCK || code == EOPNOTSUPP || code == EINVAL) return Lock::Unsupported;
        if (code != EWOULDBLOCK && code != EINTR) {
            error = code;
            return Lock::Failed;
        }
        if (Clock::now() >= deadline) return Lock::Busy;
        std::this_thread::sleep_for(std::min<Clock::duration>(kLockPoll, deadline - Clock::now()));
    }
}

}  // namespace

void UniqueFd::reset(int fd) {
    if (m_fd >= 0) ::close(m_fd);
    m_fd = fd;
}

int UniqueFd::close() {
    if (m_fd < 0) return 0;
    return ::close(std::exchange(m_fd, -1)) == 0 || errno == EINTR ? 0 : errno;
}

FileRead ReadRegularFile(const std::filesystem::path& path, std::size_t maxBytes) {
    using enum FileRead::Status;
    FileRead read;
    // Checked on the opened file itself, so nothing can be swapped in after the check.
    UniqueFd fd(Open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    if (!fd) {
        read.status = errno == ENOENT || errno == ENOTDIR ? Missing : Failed;
        read.error = errno;
        return read;
    }
    struct stat status {};
    if (::fstat(fd.get(), &status) != 0) {
        read.error = errno;
        return read;
    }
    if (!S_ISREG(status.st_mode)) {
        read.status = NotRegular;
        return read;
    }
    read.mode = status.st_mode & 07777;
    if (static_cast<std::uintmax_t>(status.st_size) > maxBytes) {
        read.status = TooLarge;
        return read;
    }
    std::string& text = read.bytes;
    text.resize(static_cast<std::size_t>(status.st_size) + 1);
    std::size_t size = 0;
    while (size < text.size()) {
        const ssize_t got = ::read(fd.get(), text.data() + size, text.size() - size);
        if (got == 0) break;
        if (got < 0) {
            if (errno == EINTR) continue;
            read.error = errno;
            read.bytes.clear();
            return read;
        }
        size += static_cast<std::size_t>(got);
        if (size > maxBytes) {
            read.status = TooLarge;
            read.bytes.clear();
            return read;
        }
        if (size == text.size()) text.resize(std::min(size * 2, maxBytes + 1));
    }
    text.resize(size);
    // A failing disk may say so only here.
    if (const int closed = fd.close(); closed != 0) {
        read.error = closed;
        read.bytes.clear();
        return read;
    }
    read.status = Read;
    return read;
}

AppendResult AppendWhole(const std::filesystem::path& path, std::string_view bytes,
                         std::chrono::milliseconds wait, const std::atomic<bool>* cancel) {
    using enum AppendResult::Status;
    const auto failed = [](int error) { return AppendResult{Failed, error}; };
    UniqueFd fd(
        Open(path, O_WRONLY | O_APPEND | O_CREAT | O_NONBLOCK | O_CLOEXEC | O_NOCTTY, 0666));
    if (!fd) return errno == ENXIO ? AppendResult{NotRegular, 0} : failed(errno);
    struct stat status {};
    if (::fstat(fd.get(), &status) != 0) return failed(errno);
    if (!S_ISREG(status.st_mode)) return {NotRegular, 0};

    int error = 0;
    const Lock lock = TakeLock(fd.get(), wait, cancel, error);
    if (lock == Lock::Busy) return {Busy, 0};
    if (lock == Lock::Cancelled) return {Cancelled, 0};
    if (lock == Lock::Failed) return failed(error);
    // Measured under the lock: another copy may have appended while this one waited.
    if (::fstat(fd.get(), &status) != 0) return failed(errno);
    const off_t before = status.st_size;
    error = WriteAll(fd.get(), bytes);
    if (error == 0) error = Retried([&] { return ::fsync(fd.get()); });
    if (error != 0) {
        // Nothing of a block that did not go in whole may stay.
        const bool cut = Retried([&] { return ::ftruncate(fd.get(), before); }) == 0 ||
                         (::fstat(fd.get(), &status) == 0 && status.st_size == before);
        return {Failed, error, !cut};
    }
    // Closing also lets go of the lock.
    if (const int closed = fd.close(); closed != 0) return failed(closed);
    return {Done, 0};
}

ReplaceResult ReplaceWhole(const std::filesystem::path& path, std::string_view bytes,
                           unsigned mode) {
    // Beside the file, so that the rename stays within one file system.
    const std::filesystem::path folder = path.parent_path().empty() ? "." : path.parent_path();
    std::filesystem::path temporary;
    UniqueFd fd;
    std::random_device seed;
    for (int attempt = 0; !fd; ++attempt) {
        temporary = folder / ("." + path.filename().string() + "." + std::to_string(seed()));
        // Private from the start, whatever the umask; the mode it keeps is set while empty.
        fd.reset(
            Open(temporary, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, S_IRUSR | S_IWUSR));
        if (!fd && (errno != EEXIST || attempt == 100)) return {errno};
    }
    const auto fail = [&](int error) {
        ::unlink(temporary.c_str());
        return ReplaceResult{error};
    };
    if (::fchmod(fd.get(), static_cast<mode_t>(mode)) != 0) return fail(errno);
    if (const int error = WriteAll(fd.get(), bytes); error != 0) return fail(error);
    if (const int error = Retried([&] { return ::fsync(fd.get()); }); error != 0)
        return fail(error);
    if (const int error = fd.close(); error != 0) return fail(error);
    if (const int error = Retried([&] { return ::rename(temporary.c_str(), path.c_str()); });
        error != 0)
        return fail(error);
    // The rename itself is made durable through the folder.
    UniqueFd dir(Open(folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!dir) return {errno, true};
    if (const int error = Retried([&] { return ::fsync(dir.get()); }); error != 0)
        return {error, true};
    return {dir.close(), true};
}

}  // namespace koravel::common
