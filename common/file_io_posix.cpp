#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "common/file_system.h"

namespace koravel::common {

namespace {

int Fd(const UniqueFd& file) { return static_cast<int>(file.get()); }

// A call that a signal interrupted is made again.
template <class Call>
std::error_code Retried(Call call) {
    for (;;) {
        if (call() >= 0) return {};
        if (errno != EINTR) return os::LastError();
    }
}

}  // namespace

void UniqueFd::reset(Native fd) {
    if (m_fd != -1) ::close(static_cast<int>(m_fd));
    m_fd = fd;
}

std::error_code UniqueFd::close() {
    if (m_fd == -1) return {};
    return ::close(static_cast<int>(std::exchange(m_fd, -1))) == 0 || errno == EINTR
               ? std::error_code()
               : os::LastError();
}

namespace os {

std::error_code LastError() { return {errno, std::generic_category()}; }

const std::error_category& SystemErrors() { return std::generic_category(); }

std::error_code Open(const std::filesystem::path& path, Access access, UniqueFd& file) {
    // Private from the start, whatever the umask: the mode it keeps is set while empty.
    static constexpr struct {
        int flags;
        mode_t mode;
    } kHow[] = {{O_RDONLY | O_NONBLOCK, 0},
                {O_WRONLY | O_APPEND | O_CREAT | O_NONBLOCK, 0666},
                {O_WRONLY | O_CREAT | O_EXCL, S_IRUSR | S_IWUSR}};
    const auto& how = kHow[static_cast<int>(access)];
    int fd = -1;
    const std::error_code error = Retried(
        [&] { return fd = ::open(path.c_str(), how.flags | O_CLOEXEC | O_NOCTTY, how.mode); });
    if (!error) file.reset(fd);
    return error;
}

std::error_code Describe(const UniqueFd& file, Facts& facts) {
    struct stat status {};
    if (::fstat(Fd(file), &status) != 0) return LastError();
    facts = {S_ISREG(status.st_mode), static_cast<std::uint64_t>(status.st_size),
             static_cast<unsigned>(status.st_mode & 07777)};
    return {};
}

std::error_code Read(const UniqueFd& file, char* into, std::size_t room, std::size_t& got) {
    return Retried([&] {
        const ssize_t n = ::read(Fd(file), into, room);
        got = n > 0 ? static_cast<std::size_t>(n) : 0;
        return n;
    });
}

std::error_code Write(const UniqueFd& file, std::string_view bytes, std::size_t& written) {
    return Retried([&] {
        const ssize_t n = ::write(Fd(file), bytes.data(), bytes.size());
        written = n > 0 ? static_cast<std::size_t>(n) : 0;
        return n;
    });
}

std::error_code TryLock(const UniqueFd& file) {
    const std::error_code error = Retried([&] { return ::flock(Fd(file), LOCK_EX | LOCK_NB); });
    if (error == std::errc::operation_would_block) return Busy();
    if (error == std::errc::no_lock_available || error == std::errc::operation_not_supported ||
        error == std::errc::invalid_argument)
        return NoLocks();
    return error;
}

// Closing lets go of the lock, and a failed unlock would change nothing.
void Unlock(const UniqueFd&) {}

std::error_code Truncate(const UniqueFd& file, std::uint64_t size) {
    return Retried([&] { return ::ftruncate(Fd(file), static_cast<off_t>(size)); });
}

std::error_code Flush(const UniqueFd& file) {
    return Retried([&] { return ::fsync(Fd(file)); });
}

std::error_code SetMode(const UniqueFd& file, unsigned mode) {
    return ::fchmod(Fd(file), static_cast<mode_t>(mode)) == 0 ? std::error_code() : LastError();
}

std::error_code Replace(const std::filesystem::path& from, const std::filesystem::path& to) {
    return Retried([&] { return ::rename(from.c_str(), to.c_str()); });
}

std::error_code FlushFolder(const std::filesystem::path& folder) {
    int fd = -1;
    if (const std::error_code error = Retried(
            [&] { return fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); }))
        return error;
    UniqueFd dir(fd);
    if (const std::error_code error = Retried([&] { return ::fsync(fd); })) return error;
    return dir.close();
}

void Remove(const std::filesystem::path& path) { ::unlink(path.c_str()); }

}  // namespace os

}  // namespace koravel::common
