#pragma once

#include <atomic>
#include <chrono>
#include <filesystem>
#include <string>
#include <string_view>

#include "survey/team_list.h"

namespace koravel::survey {

// `text` repeated `count` times; empty for a count of zero or less.
std::string RepeatText(std::string_view text, int count);

// The report block for the rows in display order: Windows-1251, CR LF after every
// line. Empty for an empty list. Missing cells of a half-filled row are written empty,
// and a control character inside a cell (CR, LF, tab, ...) as a space, so that no cell
// can break a line or forge one.
std::string ReportBlock(const TeamList& list);

// How long a save waits for another program that holds save.txt.
inline constexpr std::chrono::milliseconds kReportLockWait{10000};

// Appends the block to `file` (created when missing) as one piece under an exclusive lock,
// so that saves of two running copies never interleave; a save that fails part-way
// leaves the file exactly as it was. Nothing happens for an empty list. Returns false,
// with nothing written, when `cancel` was raised while it waited for the lock.
// Throws common::Error: "File access denied" (also for anything but a regular file),
// "Disk full", "I/O error <n>", or "'<name>' is in use by another program" once the
// wait is over.
bool AppendReport(const std::filesystem::path& file, const TeamList& list,
                  std::chrono::milliseconds lockWait = kReportLockWait,
                  const std::atomic<bool>* cancel = nullptr);

}  // namespace koravel::survey
