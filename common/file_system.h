#pragma once

// The primitives each system supplies to the file policy (common/file_io.cpp); one file
// per system implements them. Every error is the system's own: errno's generic category
// on POSIX, GetLastError in SystemErrors() on Windows, so its message is the system's
// text. Two answers are the same on both, so that the policy decides them once: Busy()
// and NoLocks() below.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string_view>
#include <system_error>

#include "common/unique_fd.h"

namespace koravel::common::os {

// Another program has the file: its lock is taken, or (Windows) it has the file open
// without sharing it.
inline std::error_code Busy() {
    return std::make_error_code(std::errc::resource_unavailable_try_again);
}
// The file system takes no locks.
inline std::error_code NoLocks() { return std::make_error_code(std::errc::no_lock_available); }

// The error of the system call that just failed.
std::error_code LastError();
// What the system calls an error number of its own (for messages from the system).
const std::error_category& SystemErrors();

enum class Access {
    Read,       // an existing file
    Append,     // created when missing
    CreateNew,  // fails with file_exists when the name is taken
};

// Never waits on a FIFO or device, never hands the file to a child process. A folder
// answers is_a_directory; a file another program holds open without sharing, Busy().
std::error_code Open(const std::filesystem::path& path, Access access, UniqueFd& file);

struct Facts {
    bool regular = false;
    std::uint64_t size = 0;
    unsigned mode = 0;  // permission bits; on Windows 0444 or 0666 by the read-only bit
};
std::error_code Describe(const UniqueFd& file, Facts& facts);

// At most `room` bytes; `got` 0 at the end.
std::error_code Read(const UniqueFd& file, char* into, std::size_t room, std::size_t& got);
// Some of `bytes`, at the file's end; `written` says how many.
std::error_code Write(const UniqueFd& file, std::string_view bytes, std::size_t& written);
// Held, Busy(), NoLocks() or the error. Exclusive, over the whole file however it grows.
std::error_code TryLock(const UniqueFd& file);
// Lets go of a held lock before the file is closed (closing lets go of it, too).
void Unlock(const UniqueFd& file);
std::error_code Truncate(const UniqueFd& file, std::uint64_t size);
// To the disk.
std::error_code Flush(const UniqueFd& file);
// The permission bits of a file being made (only the read-only bit counts on Windows).
std::error_code SetMode(const UniqueFd& file, unsigned mode);
// Renames `from` over `to`.
std::error_code Replace(const std::filesystem::path& from, const std::filesystem::path& to);
// Makes a rename in `folder` durable.
std::error_code FlushFolder(const std::filesystem::path& folder);
void Remove(const std::filesystem::path& path);

}  // namespace koravel::common::os
