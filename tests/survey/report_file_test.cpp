#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <random>

#include "common/error.h"
#include "survey/report.h"
#include "tools/testing/child_process.h"
#include "tools/testing/files.h"

namespace koravel::survey {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using testing::InChild;
using testing::Slurp;

std::string ErrorOf(const fs::path& file, const TeamList& list,
                    std::chrono::milliseconds wait = kReportLockWait) {
    try {
        return AppendReport(file, list, wait) ? "saved" : "cancelled";
    } catch (const common::Error& e) {
        return e.what();
    }
}

// `rows` rows named by `letter`; its block is some 40 bytes a row.
TeamList Rows(char letter, int rows) {
    return TeamList(rows, TeamRow{.teamId = 1,
                                  .name = std::string(20, letter),
                                  .players = "1",
                                  .cosp = "2",
                                  .aged19 = "3",
                                  .talentsAbove1 = "4",
                                  .maxTalent = "5",
                                  .complete = true});
}

// The block of Rows(letter, rows), written out by hand.
std::string Block(char letter, int rows) {
    std::string block =
        " \r\n\xCA\xEE\xEC\xE0\xED\xE4\xE0________________\xC8_\xD0\xCF_19_\xD2>1_MaxT\r\n";
    for (int k = 0; k < rows; ++k) block += std::string(20, letter) + "___1__2__3__4__5\r\n";
    return block + " \r\n" + std::string(50, '*') + "\r\n";
}

const std::string kBlock = Block('x', 1);

class ReportFile : public ::testing::Test {
protected:
    // A save of no rows makes no file.
    void SetUp() override {
        fs::create_directories(m_dir);
        AppendReport(m_file, {});
        ASSERT_FALSE(fs::exists(m_file));
        AppendReport(m_file, Rows('x', 1));
    }
    void TearDown() override { fs::remove_all(m_dir); }

    const fs::path m_dir =
        fs::temp_directory_path() / ("koravel-report-" + std::to_string(std::random_device{}()));
    const fs::path m_file = m_dir / "save.txt";
};

TEST_F(ReportFile, OnlyRegularFilesAreWrittenAndNothingBlocks) {
    const fs::path fifo = m_dir / "fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const auto denied = [](const fs::path& file) {
        return InChild([&] { return ErrorOf(file, Rows('x', 1)); });
    };
    EXPECT_EQ(denied(m_dir), "File access denied");
    EXPECT_EQ(denied("/dev/null"), "File access denied");
    EXPECT_EQ(denied(fifo), "File access denied");  // no reader
    const int reader = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    EXPECT_EQ(denied(fifo), "File access denied");
    char byte;
    EXPECT_LE(read(reader, &byte, 1), 0);
    close(reader);
    EXPECT_EQ(ErrorOf(m_file / "save.txt", Rows('x', 1)), "I/O error 20");
}

// Another program holding the file: the save waits, then gives up and writes nothing.
// (Ctrl-C and a closing window end the wait: the command-line and window tests.)
TEST_F(ReportFile, AWaitForAnotherProgramsLockIsBounded) {
    const int held = open(m_file.c_str(), O_RDONLY);
    ASSERT_EQ(flock(held, LOCK_SH), 0);
    EXPECT_EQ(InChild([&] { return ErrorOf(m_file, Rows('x', 1), 300ms); }),
              "'save.txt' is in use by another program");
    EXPECT_EQ(Slurp(m_file), kBlock);
    close(held);
}

TEST_F(ReportFile, CopiesSavingAtOnceWaitForTheLockAndNeverInterleave) {
    // Blocks far larger than a pipe or stdio buffer, from two processes at once.
    const std::pair<char, int> blocks[2] = {{'a', 3000}, {'b', 2000}};
    constexpr int kSaves = 20;
    const int held = open(m_file.c_str(), O_RDONLY);
    ASSERT_EQ(flock(held, LOCK_EX), 0);
    pid_t children[2];
    for (int k = 0; k < 2; ++k) {
        if ((children[k] = fork()) == 0) {
            close(held);  // the lock belongs to the open file, which the child shares
            alarm(20);
            const TeamList list = Rows(blocks[k].first, blocks[k].second);
            for (int n = 0; n < kSaves; ++n)
                if (ErrorOf(m_file, list) != "saved") _exit(1);
            _exit(0);
        }
    }
    // No sure sign that the children wait: a slow start lets a missing lock pass unseen,
    // never fails a sound one.
    usleep(200'000);
    EXPECT_EQ(Slurp(m_file), kBlock);
    close(held);
    for (const pid_t child : children) {
        int status = 1;
        waitpid(child, &status, 0);
        EXPECT_EQ(status, 0);
    }
    // Whole blocks of each, and nothing else.
    const std::string file = Slurp(m_file);
    std::size_t bytes = kBlock.size();
    for (const auto& [letter, rows] : blocks) {
        const std::string block = Block(letter, rows);
        int seen = 0;
        for (auto at = file.find(block); at != std::string::npos; at = file.find(block, at + 1))
            ++seen;
        EXPECT_EQ(seen, kSaves);
        bytes += kSaves * block.size();
    }
    EXPECT_EQ(file.size(), bytes);
}

}  // namespace
}  // namespace koravel::survey
