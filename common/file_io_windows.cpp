#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <sys/stat.h>
#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <random>
#include <thread>

#include "common/file_io.h"
#include "common/unique_fd.h"

namespace koravel::common {

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::chrono::milliseconds kLockPoll{50};

// The C runtime's error number for a system error.
int ErrnoOf(DWORD error) {
    switch (error) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
            return ENOENT;
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION:
            return EACCES;
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
            return ENOSPC;
        default:
            return EIO;
    }
}

// Every path is wide, so that folders with Cyrillic names work whatever the code page.
int Open(const std::filesystem::path& path, int flags, int mode = _S_IREAD | _S_IWRITE) {
    int fd = -1;
    const errno_t error =
        _wsopen_s(&fd, path.c_str(), flags | _O_BINARY | _O_NOINHERIT, _SH_DENYNO, mode);
    if (error != 0) errno = error;
    return error == 0 ? fd : -1;
}

bool IsRegular(int fd, struct _stat64& status) {
    return _fstat64(fd, &status) == 0 && (status.st_mode & _S_IFMT) == _S_IFREG;
}

int WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const unsigned piece = static_cast<unsigned>(std::min<std::size_t>(bytes.size(), 1u << 30));
        const int n = _write(fd, bytes.data(), piece);
        if (n < 0) return errno;
        if (n == 0) return EIO;
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return 0;
}

HANDLE HandleOf(int fd) { return reinterpret_cast<HANDLE>(_get_osfhandle(fd)); }

// The whole file, as far as it may ever grow.
bool LockRange(HANDLE handle, bool lock) {
    OVERLAPPED at{};
    return lock ? LockFileEx(handle, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0,
                             MAXDWORD, MAXDWORD, &at) != 0
                : UnlockFileEx(handle, 0, MAXDWORD, MAXDWORD, &at) != 0;
}

}  // namespace

void UniqueFd::reset(int fd) {
    if (m_fd >= 0) _close(m_fd);
    m_fd = fd;
}

int UniqueFd::close() {
    if (m_fd < 0) return 0;
    return _close(std::exchange(m_fd, -1)) == 0 ? 0 : errno;
}

FileRead ReadRegularFile(const std::filesystem::path& path, std::size_t maxBytes) {
    using enum FileRead::Status;
    FileRead read;
    UniqueFd fd(Open(path, _O_RDONLY));
    if (!fd) {
        read.status = errno == ENOENT ? Missing : Failed;
        read.error = errno;
        // A folder cannot be opened as a file on Windows.
        std::error_code ignored;
        if (errno == EACCES && std::filesystem::is_directory(path, ignored))
            read.status = NotRegular;
        return read;
    }
    struct _stat64 status {};
    if (!IsRegular(fd.get(), status)) {
        read.status = NotRegular;
        return read;
    }
    if (static_cast<std::uint64_t>(status.st_size) > maxBytes) {
        read.status = TooLarge;
        return read;
    }
    read.mode = status.st_mode & 0777;
    std::string& text = read.bytes;
    text.resize(static_cast<std::size_t>(status.st_size) + 1);
    std::size_t size = 0;
    while (size < text.size()) {
        const int got =
            _read(fd.get(), text.data() + size, static_cast<unsigned>(text.size() - size));
        if (got == 0) break;
        if (got < 0) {
            read.error = errno;
            text.clear();
            return read;
        }
        size += static_cast<std::size_t>(got);
        if (size > maxBytes) {
            read.status = TooLarge;
            text.clear();
            return read;
        }
        if (size == text.size()) text.resize(std::min(size * 2, maxBytes + 1));
    }
    text.resize(size);
    if (const int closed = fd.close(); closed != 0) {
        read.error = closed;
        text.clear();
        return read;
    }
    read.status = Read;
    return read;
}

AppendResult AppendWhole(const std::filesystem::path& path, std::string_view bytes,
                         std::chrono::milliseconds wait, const std::atomic<bool>* cancel) {
    using enum AppendResult::Status;
    const auto failed = [](int error) { return AppendResult{Failed, error}; };
    UniqueFd fd(Open(path, _O_WRONLY | _O_APPEND | _O_CREAT));
    if (!fd) return failed(errno);
    struct _stat64 status {};
    if (!IsRegular(fd.get(), status)) return {NotRegular, 0};

    // Windows locks are mandatory: held only around the append.
    const HANDLE handle = HandleOf(fd.get());
    const auto deadline = Clock::now() + wait;
    for (;;) {
        if (cancel != nullptr && cancel->load()) return {Cancelled, 0};
        if (LockRange(handle, true)) break;
        const DWORD error = GetLastError();
        if (error != ERROR_LOCK_VIOLATION && error != ERROR_IO_PENDING)
            return failed(ErrnoOf(error));
        if (Clock::now() >= deadline) return {Busy, 0};
        std::this_thread::sleep_for(std::min<Clock::duration>(kLockPoll, deadline - Clock::now()));
    }
    const __int64 before = _filelengthi64(fd.get());
    int error = before < 0 ? errno : WriteAll(fd.get(), bytes);
    if (error == 0 && _commit(fd.get()) != 0) error = errno;
    const bool cut =
        error == 0 ||
        (before >= 0 && (_chsize_s(fd.get(), before) == 0 || _filelengthi64(fd.get()) == before));
    LockRange(handle, false);
    if (error != 0) return {Failed, error, !cut};
    if (const int closed = fd.close(); closed != 0) return failed(closed);
    return {Done, 0};
}

ReplaceResult ReplaceWhole(const std::filesystem::path& path, std::string_view bytes,
                           unsigned mode) {
    const std::filesystem::path folder = path.parent_path().empty() ? "." : path.parent_path();
    std::filesystem::path temporary;
    UniqueFd fd;
    std::random_device seed;
    for (int attempt = 0; !fd; ++attempt) {
        temporary = folder / (L"." + path.filename().wstring() + L"." + std::to_wstring(seed()));
        fd.reset(Open(temporary, _O_WRONLY | _O_CREAT | _O_EXCL));
        if (!fd && (errno != EEXIST || attempt == 100)) return {errno};
    }
    const auto fail = [&](int error) {
        DeleteFileW(temporary.c_str());
        return ReplaceResult{error};
    };
    if (const int error = WriteAll(fd.get(), bytes); error != 0) return fail(error);
    if (_commit(fd.get()) != 0) return fail(errno);
    if (const int error = fd.close(); error != 0) return fail(error);
    if (MoveFileExW(temporary.c_str(), path.c_str(),
                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) == 0)
        return fail(ErrnoOf(GetLastError()));
    if ((mode & 0200) == 0) SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_READONLY);
    return {0, true};
}

}  // namespace koravel::common
