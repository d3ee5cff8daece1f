#include <gtest/gtest.h>

#include <fcntl.h>
#include <sched.h>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <random>

#include "common/error.h"
#include "survey/report.h"

namespace koravel::survey {
namespace {

namespace fs = std::filesystem;

std::string Slurp(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

std::string ErrorOf(const fs::path& file, const TeamList& list) {
    try {
        AppendReport(file, list);
    } catch (const common::Error& e) {
        return e.what();
    }
    return "no error";
}

// What `body` says in a child process that a hang cannot keep alive.
std::string InChild(const std::function<std::string()>& body) {
    FILE* said = std::tmpfile();
    const pid_t child = fork();
    if (child == 0) {
        alarm(10);
        _exit(std::fputs(body().c_str(), said) < 0 || std::fflush(said) != 0);
    }
    int status = 0;
    waitpid(child, &status, 0);
    std::string heard(4096, '\0');
    std::rewind(said);
    heard.resize(std::fread(heard.data(), 1, heard.size(), said));
    std::fclose(said);
    return WIFSIGNALED(status) ? "killed by signal " + std::to_string(WTERMSIG(status)) : heard;
}

// `rows` rows named by `letter`; its block is some 40 bytes a row.
TeamList Rows(char letter, int rows) {
    return TeamList(rows, TeamRow{std::string(20, letter), {"1", "2", "3", "4", "5"}, 1});
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

// Root ignores permission bits, so the faults come from mounts in a child's own
// namespace; a user namespace gives an ordinary user the right to mount there. The full
// disk takes part of the block first: short writes go on until the error.
TEST_F(ReportFile, FullAndReadOnlyFileSystems) {
    const std::string said = InChild([&]() -> std::string {
        const fs::path full = m_dir / "full";
        fs::create_directory(full);
        const char* dir = m_dir.c_str();
        if ((unshare(CLONE_NEWNS) != 0 && unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0) ||
            mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            mount("tmpfs", full.c_str(), "tmpfs", 0, "size=8k") != 0 ||
            mount(dir, dir, nullptr, MS_BIND | MS_REC, nullptr) != 0 ||
            mount(nullptr, dir, nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) != 0)
            return std::string("skip: ") + std::strerror(errno);
        const TeamList big = Rows('y', 2000);  // some 80 KiB, past any page size
        const std::string fullSaid = ErrorOf(full / "save.txt", big);
        const std::string kept = Slurp(full / "save.txt");
        const bool part = !kept.empty() && Block('y', 2000).starts_with(kept) &&
                          kept.size() < Block('y', 2000).size();
        return ErrorOf(m_file, big) + "|" + fullSaid + (part ? "|part kept" : "|no part kept");
    });
    if (said.starts_with("skip")) GTEST_SKIP() << "no private mounts, " << said;
    EXPECT_EQ(said, "File access denied|Disk full|part kept");
    EXPECT_EQ(Slurp(m_file), kBlock);
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
                if (ErrorOf(m_file, list) != "no error") _exit(1);
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
