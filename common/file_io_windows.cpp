#include <windows.h>

#include <algorithm>
#include <string>

#include "common/file_system.h"

namespace koravel::common {

namespace {

HANDLE Handle(const UniqueFd& file) { return reinterpret_cast<HANDLE>(file.get()); }

// The system's errors with the system's own text as UTF-8 (libstdc++'s system_category
// gives it in the ANSI code page); compared with std::errc as system_category compares.
class SystemCategory final : public std::error_category {
public:
    const char* name() const noexcept override { return "windows"; }
    std::error_condition default_error_condition(int code) const noexcept override {
        return std::system_category().default_error_condition(code);
    }
    std::string message(int code) const override {
        wchar_t* text = nullptr;
        const DWORD length = FormatMessageW(
            FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                FORMAT_MESSAGE_IGNORE_INSERTS,
            nullptr, static_cast<DWORD>(code), 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
        std::wstring wide(text != nullptr ? text : L"", length);
        LocalFree(text);
        // Without its line end and final full stop, to stand inside a sentence.
        while (!wide.empty() && (wide.back() == L'\n' || wide.back() == L'\r' ||
                                 wide.back() == L' ' || wide.back() == L'.'))
            wide.pop_back();
        if (wide.empty()) return "error " + std::to_string(code);
        const int size = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()),
                                             nullptr, 0, nullptr, nullptr);
        std::string utf8(static_cast<std::size_t>(size), '\0');
        WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), utf8.data(),
                            size, nullptr, nullptr);
        return utf8;
    }
};

std::error_code Done(BOOL ok) { return ok != 0 ? std::error_code() : os::LastError(); }

// The whole file, as far as it may ever grow.
OVERLAPPED g_fromStart{};

}  // namespace

void UniqueFd::reset(Native fd) {
    if (m_fd != -1) CloseHandle(reinterpret_cast<HANDLE>(m_fd));
    m_fd = fd;
}

std::error_code UniqueFd::close() {
    if (m_fd == -1) return {};
    return Done(CloseHandle(reinterpret_cast<HANDLE>(std::exchange(m_fd, -1))));
}

namespace os {

const std::error_category& SystemErrors() {
    static const SystemCategory category;
    return category;
}

std::error_code LastError() { return {static_cast<int>(GetLastError()), SystemErrors()}; }

std::error_code Open(const std::filesystem::path& path, Access access, UniqueFd& file) {
    // Others may read and write (the lock keeps saves apart) and rename: a save never
    // stands in another program's way longer than it must.
    static constexpr struct {
        DWORD rights;
        DWORD disposition;
    } kHow[] = {
        {GENERIC_READ, OPEN_EXISTING}, {GENERIC_WRITE, OPEN_ALWAYS}, {GENERIC_WRITE, CREATE_NEW}};
    const auto& how = kHow[static_cast<int>(access)];
    // Wide, so that folders with Cyrillic names work whatever the code page.
    const HANDLE handle = CreateFileW(path.c_str(), how.rights,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, how.disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle != INVALID_HANDLE_VALUE) {
        file.reset(reinterpret_cast<UniqueFd::Native>(handle));
        return {};
    }
    const DWORD error = GetLastError();
    if (error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION) return Busy();
    // A folder cannot be opened as a file.
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (error == ERROR_ACCESS_DENIED && attributes != INVALID_FILE_ATTRIBUTES &&
        (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        return std::make_error_code(std::errc::is_a_directory);
    return {static_cast<int>(error), SystemErrors()};
}

std::error_code Describe(const UniqueFd& file, Facts& facts) {
    facts = {};
    if (GetFileType(Handle(file)) != FILE_TYPE_DISK) return {};
    BY_HANDLE_FILE_INFORMATION information{};
    if (GetFileInformationByHandle(Handle(file), &information) == 0) return LastError();
    facts.regular = (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
    facts.size = (std::uint64_t{information.nFileSizeHigh} << 32) | information.nFileSizeLow;
    facts.mode = (information.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0 ? 0444 : 0666;
    return {};
}

std::error_code Read(const UniqueFd& file, char* into, std::size_t room, std::size_t& got) {
    DWORD done = 0;
    const BOOL ok =
        ReadFile(Handle(file), into, static_cast<DWORD>(std::min<std::size_t>(room, 1u << 30)),
                 &done, nullptr);
    got = done;
    return Done(ok);
}

std::error_code Write(const UniqueFd& file, std::string_view bytes, std::size_t& written) {
    written = 0;
    // Under the lock, nobody else appends between the move and the write.
    if (SetFilePointerEx(Handle(file), LARGE_INTEGER{}, nullptr, FILE_END) == 0) return LastError();
    DWORD done = 0;
    const BOOL ok = WriteFile(Handle(file), bytes.data(),
                              static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1u << 30)),
                              &done, nullptr);
    written = done;
    return Done(ok);
}

std::error_code TryLock(const UniqueFd& file) {
    OVERLAPPED at = g_fromStart;
    if (LockFileEx(Handle(file), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, MAXDWORD,
                   MAXDWORD, &at) != 0)
        return {};
    const DWORD error = GetLastError();
    if (error == ERROR_LOCK_VIOLATION || error == ERROR_IO_PENDING) return Busy();
    if (error == ERROR_NOT_SUPPORTED || error == ERROR_INVALID_FUNCTION) return NoLocks();
    return {static_cast<int>(error), SystemErrors()};
}

// Windows locks are mandatory: let go at once, not whenever the handle's close gets to it.
void Unlock(const UniqueFd& file) {
    OVERLAPPED at = g_fromStart;
    UnlockFileEx(Handle(file), 0, MAXDWORD, MAXDWORD, &at);
}

std::error_code Truncate(const UniqueFd& file, std::uint64_t size) {
    FILE_END_OF_FILE_INFO end{};
    end.EndOfFile.QuadPart = static_cast<LONGLONG>(size);
    return Done(SetFileInformationByHandle(Handle(file), FileEndOfFileInfo, &end, sizeof end));
}

std::error_code Flush(const UniqueFd& file) { return Done(FlushFileBuffers(Handle(file))); }

std::error_code SetMode(const UniqueFd& file, unsigned mode) {
    if ((mode & 0200) != 0) return {};
    FILE_BASIC_INFO basic{};
    basic.FileAttributes = FILE_ATTRIBUTE_READONLY;
    return Done(SetFileInformationByHandle(Handle(file), FileBasicInfo, &basic, sizeof basic));
}

std::error_code Replace(const std::filesystem::path& from, const std::filesystem::path& to) {
    return Done(
        MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH));
}

// MOVEFILE_WRITE_THROUGH has made the rename durable already.
std::error_code FlushFolder(const std::filesystem::path&) { return {}; }

void Remove(const std::filesystem::path& path) { DeleteFileW(path.c_str()); }

}  // namespace os

}  // namespace koravel::common
