#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>

// Reading, appending and replacing files: the policy, the same on every system. Errors
// are the system's own (errno on POSIX, GetLastError on Windows), so their message() is
// the system's text; compare them with std::errc.
namespace koravel::common {

struct FileRead {
    enum class Status { Read, Missing, NotRegular, TooLarge, Failed };
    Status status = Status::Failed;
    std::string bytes;
    unsigned mode = 0;      // the permission bits of the file read
    std::error_code error;  // for Failed
};

// Reads a whole regular file of at most `maxBytes`. A FIFO, device, socket or folder is
// never waited on or read: it gives NotRegular. The bound holds for a file that grows
// while it is read, too.
FileRead ReadRegularFile(const std::filesystem::path& path, std::size_t maxBytes);

struct AppendResult {
    enum class Status { Done, NotRegular, Busy, Cancelled, Failed };
    Status status = Status::Failed;
    std::error_code error;  // for Failed
    bool partLeft = false;  // for Failed: the file could not be cut back, and may end in
                            // part of the block
};

// Appends `bytes` to `path` (created when missing) as one block under an exclusive lock,
// so that two running copies never interleave: waits up to `wait` for another program's
// lock, or for another program that has the file open without sharing it (Busy past
// it, Cancelled once `cancel` is raised), writes the block whole, flushes
// it to disk, and on any failure cuts the file back to its length before the block, still
// under the lock. A file system without locks still gets the block. Anything but a
// regular file is never written (NotRegular).
AppendResult AppendWhole(const std::filesystem::path& path, std::string_view bytes,
                         std::chrono::milliseconds wait, const std::atomic<bool>* cancel);

// Replaces `path` whole with `bytes`: they go to a new file beside it, every write
// checked, are flushed to disk and then renamed over it, so that any failure leaves the
// old file byte for byte. The new file has the permission bits `mode` from the moment it
// exists (only the read-only bit counts on Windows).
struct ReplaceResult {
    std::error_code error;
    // The new file is in place; the error came after, in making that durable (flushing
    // the folder).
    bool renamed = false;
};
ReplaceResult ReplaceWhole(const std::filesystem::path& path, std::string_view bytes,
                           unsigned mode);

}  // namespace koravel::common
