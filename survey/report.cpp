#include "survey/report.h"

#include <algorithm>
#include <cerrno>
#include <string>
#include <utility>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

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
        case ENXIO:  // a FIFO that no one reads
            throw common::Error("File access denied");
        case ENOSPC:
#ifdef EDQUOT
        case EDQUOT:
#endif
            throw common::Error("Disk full");
        default:
            throw common::Error("I/O error " + std::to_string(code != 0 ? code : EIO));
    }
}

// The one owner of the report's descriptor.
class ReportFile final {
public:
    explicit ReportFile(const std::filesystem::path& file)
        : m_fd(::open(file.c_str(),
                      O_WRONLY | O_APPEND | O_CREAT | O_NONBLOCK | O_CLOEXEC | O_NOCTTY, 0666)) {
        if (m_fd < 0) ThrowIoError(errno);
    }
    ~ReportFile() {
        if (m_fd >= 0) ::close(m_fd);
    }
    ReportFile(const ReportFile&) = delete;
    ReportFile& operator=(const ReportFile&) = delete;

    int fd() const { return m_fd; }

    // Closes now, so that a failing close reaches the user.
    void Close() {
        if (::close(std::exchange(m_fd, -1)) != 0 && errno != EINTR) ThrowIoError(errno);
    }

private:
    int m_fd;
};

// Two running copies may save at once; the lock keeps their blocks apart. A file system
// without locks still gets the block.
void Lock(int fd) {
    while (::flock(fd, LOCK_EX) != 0) {
        if (errno == EINTR) continue;
        if (errno == ENOLCK || errno == EOPNOTSUPP || errno == EINVAL) return;
        ThrowIoError(errno);
    }
}

void WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) ThrowIoError(errno);
        if (n == 0) ThrowIoError(EIO);
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
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

    // Opened without blocking and then checked, so that a FIFO or a device never stalls
    // the program or takes the block.
    ReportFile out(file);
    struct stat status {};
    if (::fstat(out.fd(), &status) != 0) ThrowIoError(errno);
    if (!S_ISREG(status.st_mode)) ThrowIoError(EACCES);
    Lock(out.fd());
    WriteAll(out.fd(), block);
    out.Close();  // also releases the lock
}

}  // namespace koravel::survey
