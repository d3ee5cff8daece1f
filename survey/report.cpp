#include "survey/report.h"

#include <algorithm>
#include <cerrno>

#include "common/error.h"
#include "common/file_io.h"

namespace koravel::survey {

namespace {

constexpr std::string_view kLineEnd = "\r\n";
// The name column ends where the header's "И" stands.
constexpr int kNameColumns = 23;

void AppendCell(std::string& line, std::string_view cell) {
    const std::size_t from = line.size();
    line += cell;
    std::replace_if(
        line.begin() + static_cast<std::ptrdiff_t>(from), line.end(),
        [](char c) { return static_cast<unsigned char>(c) < 0x20; }, ' ');
}

std::string RowLine(const TeamRow& row) {
    const int nameLength = static_cast<int>(std::min<std::size_t>(row.name.size(), kNameColumns));
    int fill = 1;
    if (nameLength < kNameColumns)
        fill = (row.players.size() < 2 ? kNameColumns : kNameColumns - 1) - nameLength;

    std::string line;
    AppendCell(line, row.name);
    line += RepeatText("_", fill);
    AppendCell(line, row.players);
    for (int column = 2; column < kColumnCount; ++column) {
        line += "__";
        AppendCell(line, row.cell(column));
    }
    return line;
}

std::string FileName(const std::filesystem::path& file) {
    const std::u8string name = file.filename().u8string();
    return std::string(name.begin(), name.end());
}

std::string IoErrorText(const std::error_code& code) {
    if (code == std::errc::permission_denied || code == std::errc::operation_not_permitted ||
        code == std::errc::read_only_file_system || code == std::errc::is_a_directory)
        return "File access denied";
    if (code == std::errc::no_space_on_device) return "Disk full";
#ifdef EDQUOT
    if (code.category() == std::generic_category() && code.value() == EDQUOT) return "Disk full";
#endif
    return "I/O error " + std::to_string(code ? code.value() : EIO);
}

}  // namespace

std::string RepeatText(std::string_view text, int count) {
    std::string out;
    for (int k = 0; k < count; ++k) out += text;
    return out;
}

std::string ReportBlock(const TeamList& list) {
    if (list.empty()) return {};
    std::string block;
    const auto addLine = [&block](std::string_view line) {
        block += line;
        block += kLineEnd;
    };
    addLine(" ");
    // Команда________________И_РП_19_Т>1_MaxT
    addLine(ColumnCaption(0) + RepeatText("_", 16) + ColumnCaption(1) + "_" + ColumnCaption(2) +
            "_" + ColumnCaption(3) + "_" + ColumnCaption(4) + "_" + ColumnCaption(5));
    for (const TeamRow& row : list) addLine(RowLine(row));
    addLine(" ");
    addLine(std::string(50, '*'));
    return block;
}

bool AppendReport(const std::filesystem::path& file, const TeamList& list,
                  std::chrono::milliseconds lockWait, const std::atomic<bool>* cancel) {
    const std::string block = ReportBlock(list);
    if (block.empty()) return true;
    using enum common::AppendResult::Status;
    const common::AppendResult result = common::AppendWhole(file, block, lockWait, cancel);
    switch (result.status) {
        case Done:
            return true;
        case Cancelled:
            return false;
        case NotRegular:
            throw common::Error("File access denied");
        case Busy:
            throw common::Error("'" + FileName(file) + "' is in use by another program");
        case Failed:
            break;
    }
    std::string message = IoErrorText(result.error);
    // Only when the disk also refused to take the block back out: say so, not just "saved
    // nothing".
    if (result.partLeft) message += "; '" + FileName(file) + "' may now end with part of this list";
    throw common::Error(message);
}

}  // namespace koravel::survey
