#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>

// What differs between the systems in reading and appending files. Errors are errno
// numbers on both (the C runtime keeps them on Windows too).
namespace koravel::common {

struct FileRead {
    enum class Status { Read, Missing, NotRegular, TooLarge, Failed };
    Status status = Status::Failed;
    std::string bytes;
    unsigned mode = 0;  // the permission bits of the file read
    int error = 0;      // for Failed
};

// Reads a whole regular file of at most `maxBytes`. A FIFO, device, socket or folder is
// never waited on or read: it gives NotRegular. The bound holds for a file that grows
// while it is read, too.
FileRead ReadRegularFile(const std::filesystem::path& path, std::size_t maxBytes);

struct AppendResult {
    enum class Status { Done, NotRegular, Busy, Cancelled, Failed };
    Status status = Status::Failed;
    int error = 0;          // for Failed
    bool partLeft = false;  // for Failed: the file could not be cut back, and may end in
                            // part of the block
};

// Appends `bytes` to `path` (created when missing) as one block under an exclusive lock,
// so that two running copies never interleave: waits up to `wait` for another program's
// lock (Busy past it, Cancelled once `cancel` is raised), writes the block whole, flushes
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
    int error = 0;         // 0 or the error number
    bool renamed = false;  // the new file is in place; an error came after (the folder)
};
ReplaceResult ReplaceWhole(const std::filesystem::path& path, std::string_view bytes,
                           unsigned mode);

}  // namespace koravel::common
