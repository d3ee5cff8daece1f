#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "survey/team_list.h"

namespace koravel::survey {

// `text` repeated `count` times; empty for a count of zero or less.
std::string RepeatText(std::string_view text, int count);

// The report block for the rows in display order: Windows-1251, CR LF after every
// line. Empty for an empty list. Missing cells of a half-filled row are written empty.
std::string ReportBlock(const TeamList& list);

// Appends the block to `file` (creating it when missing) with one write under an
// exclusive flock() on the file, so that saves of two running copies never interleave.
// Nothing happens for an empty list. A file that is not a regular one (FIFO, device,
// directory) is never written and gives "File access denied". Throws common::Error with
// "File access denied", "Disk full" or "I/O error <n>"; what reached the file stays.
void AppendReport(const std::filesystem::path& file, const TeamList& list);

}  // namespace koravel::survey
