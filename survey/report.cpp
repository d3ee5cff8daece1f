#include "survey/report.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <string>

#include "common/error.h"

namespace koravel::survey {

namespace {

constexpr std::string_view kLineEnd = "\r\n";
// The name column ends where the header's "И" stands.
constexpr int kNameColumns = 23;

std::string RowLine(const TeamRow& row) {
    const std::string_view name = row.cell(0);
    const std::string_view players = row.cell(1);
    const int nameLength = static_cast<int>(std::min<std::size_t>(name.size(), kNameColumns));
    int fill = 1;
    if (nameLength < kNameColumns)
        fill = (players.size() < 2 ? kNameColumns : kNameColumns - 1) - nameLength;

    std::string line(name);
    line += RepeatText("_", fill);
    line += players;
    for (int column = 2; column < kColumnCount; ++column) {
        line += "__";
        line += row.cell(column);
    }
    return line;
}

[[noreturn]] void ThrowIoError(int code) {
    switch (code) {
        case EACCES:
        case EPERM:
        case EROFS:
        case EISDIR:
            throw common::Error("File access denied");
        case ENOSPC:
#ifdef EDQUOT
        case EDQUOT:
#endif
            throw common::Error("Disk full");
        default:
            // A failing stream that set no errno still failed.
            throw common::Error("I/O error " + std::to_string(code != 0 ? code : EIO));
    }
}

std::FILE* OpenForAppend(const std::filesystem::path& file) {
#ifdef _WIN32
    return _wfopen(file.c_str(), L"ab");
#else
    return std::fopen(file.c_str(), "ab");
#endif
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

void AppendReport(const std::filesystem::path& file, const TeamList& list) {
    const std::string block = ReportBlock(list);
    if (block.empty()) return;

    errno = 0;
    std::FILE* out = OpenForAppend(file);
    if (out == nullptr) ThrowIoError(errno);

    errno = 0;
    if (std::fwrite(block.data(), 1, block.size(), out) != block.size() || std::fflush(out) != 0) {
        const int code = errno;
        std::fclose(out);
        ThrowIoError(code);
    }
    errno = 0;
    if (std::fclose(out) != 0) ThrowIoError(errno);
}

}  // namespace koravel::survey
