#include "common/file_io.h"

#include <algorithm>
#include <random>
#include <thread>

#include "common/file_system.h"

namespace koravel::common {

namespace {

using Clock = std::chrono::steady_clock;

// How often a save that waits for another program looks again.
constexpr std::chrono::milliseconds kPoll{50};

std::error_code WriteAll(const UniqueFd& file, std::string_view bytes) {
    while (!bytes.empty()) {
        std::size_t written = 0;
        if (const std::error_code error = os::Write(file, bytes, written)) return error;
        if (written == 0) return std::make_error_code(std::errc::io_error);
        bytes.remove_prefix(written);
    }
    return {};
}

// A folder, or (POSIX) a FIFO without a reader or a device that is not there.
bool NotAFile(const std::error_code& error) {
    return error == std::errc::is_a_directory || error == std::errc::no_such_device_or_address;
}

}  // namespace

FileRead ReadRegularFile(const std::filesystem::path& path, std::size_t maxBytes) {
    using enum FileRead::Status;
    FileRead read;
    const auto failed = [&read](std::error_code error) {
        read.status = Failed;
        read.error = error;
        read.bytes.clear();
        return read;
    };
    // Checked on the opened file itself, so nothing can be swapped in after the check.
    UniqueFd file;
    if (const std::error_code error = os::Open(path, os::Access::Read, file)) {
        if (error == std::errc::no_such_file_or_directory || error == std::errc::not_a_directory)
            read.status = Missing;
        else if (NotAFile(error))
            read.status = NotRegular;
        read.error = error;
        return read;
    }
    os::Facts facts;
    if (const std::error_code error = os::Describe(file, facts)) return failed(error);
    if (!facts.regular) {
        read.status = NotRegular;
        return read;
    }
    read.mode = facts.mode;
    if (facts.size > maxBytes) {
        read.status = TooLarge;
        return read;
    }
    std::string& text = read.bytes;
    text.resize(static_cast<std::size_t>(facts.size) + 1);
    std::size_t size = 0;
    while (size < text.size()) {
        std::size_t got = 0;
        if (const std::error_code error =
                os::Read(file, text.data() + size, text.size() - size, got))
            return failed(error);
        if (got == 0) break;
        size += got;
        if (size > maxBytes) {
            read.status = TooLarge;
            text.clear();
            return read;
        }
        if (size == text.size()) text.resize(std::min(size * 2, maxBytes + 1));
    }
    text.resize(size);
    // A failing disk may say so only here.
    if (const std::error_code error = file.close()) return failed(error);
    read.status = Read;
    return read;
}

AppendResult AppendWhole(const std::filesystem::path& path, std::string_view bytes,
                         std::chrono::milliseconds wait, const std::atomic<bool>* cancel) {
    using enum AppendResult::Status;
    const auto failed = [](std::error_code error) { return AppendResult{Failed, error}; };
    // Another program holds the lock, or (Windows) has the file open without sharing it:
    // either is waited for, polled, so that the wait is bounded and can be called off.
    const auto deadline = Clock::now() + wait;
    UniqueFd file;
    os::Facts facts;
    for (;;) {
        if (cancel != nullptr && cancel->load()) return {Cancelled, {}};
        std::error_code error;
        if (!file) {
            error = os::Open(path, os::Access::Append, file);
            if (NotAFile(error)) return {NotRegular, {}};
            if (!error) error = os::Describe(file, facts);
            if (!error && !facts.regular) return {NotRegular, {}};
        }
        if (!error) error = os::TryLock(file);
        if (!error || error == os::NoLocks()) break;
        if (error != os::Busy()) return failed(error);
        if (Clock::now() >= deadline) return {Busy, {}};
        std::this_thread::sleep_for(std::min<Clock::duration>(kPoll, deadline - Clock::now()));
    }
    // Measured under the lock: another copy may have appended while this one waited.
    if (const std::error_code error = os::Describe(file, facts)) return failed(error);
    std::error_code error = WriteAll(file, bytes);
    if (!error) error = os::Flush(file);
    if (error) {
        // Nothing of a block that did not go in whole may stay.
        os::Facts now;
        const bool cut =
            !os::Truncate(file, facts.size) || (!os::Describe(file, now) && now.size == facts.size);
        os::Unlock(file);
        return {Failed, error, !cut};
    }
    os::Unlock(file);
    if (const std::error_code closed = file.close()) return failed(closed);
    return {Done, {}};
}

ReplaceResult ReplaceWhole(const std::filesystem::path& path, std::string_view bytes,
                           unsigned mode) {
    // Beside the file, so that the rename stays within one file system.
    const std::filesystem::path folder = path.parent_path().empty() ? "." : path.parent_path();
    std::filesystem::path temporary;
    UniqueFd file;
    std::random_device seed;
    for (int attempt = 0; !file; ++attempt) {
        std::filesystem::path name = ".";
        name += path.filename();
        name += "." + std::to_string(seed());
        temporary = folder / name;
        const std::error_code error = os::Open(temporary, os::Access::CreateNew, file);
        if (error && (error != std::errc::file_exists || attempt == 100)) return {error};
    }
    std::error_code error = os::SetMode(file, mode);
    if (!error) error = WriteAll(file, bytes);
    if (!error) error = os::Flush(file);
    if (!error) error = file.close();
    if (!error) error = os::Replace(temporary, path);
    if (error) {
        os::Remove(temporary);
        return {error};
    }
    return {os::FlushFolder(folder), true};
}

}  // namespace koravel::common
