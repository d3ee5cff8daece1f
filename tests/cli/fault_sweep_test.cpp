// Every file call of a save made to fail in turn, in each way a disk fails, through the
// real program: save.txt and kelvo.conf must each end either as they were or as the new
// content, never between; an interrupted call is retried and a short write continued;
// any other fault is said, with a failing status.
#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <filesystem>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "tests/cli/run_program.h"
#include "tests/support/test_support.h"
#include "tools/fake_site/fake_site.h"

namespace koravel {
namespace {

namespace fs = std::filesystem;
using testing::Ran;
using testing::Slurp;
using testing::Spit;

const char* const kKinds[] = {"eio", "enospc", "eintr", "short"};

// The file whose outcome counts, what it holds before, and how to run the save.
struct Save {
    const char* name;
    fs::path file;
    std::string before;
    std::function<std::vector<std::string>()> args;
};

class FaultSweep : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directory(m_folder / "config");
        m_site.servePages();
    }
    void reset() const {
        Spit(m_folder / "data.ini", "[D]\nteam1=1101\nteam2=1102\n");
        Spit(m_folder / "config/kelvo.conf",
             "[Koravel]\nUseProxy=1\nProxyServer=127.0.0.1\nProxyPort=" +
                 std::to_string(m_site.port()) + "\n; mine\n");
        Spit(m_folder / "save.txt", "earlier\r\n");
    }
    Ran run(const std::vector<std::string>& args, int call, const char* kind) const {
        fs::remove(m_log);
        return testing::Run{
            args,
            {"XDG_CONFIG_HOME=" + (m_folder / "config").string(), "LC_ALL=C.UTF-8",
             "LD_PRELOAD=" KORAVEL_FAULT_SHIM, "KORAVEL_FAULT_DIR=" + m_folder.string(),
             "KORAVEL_FAULT_CALL=" + std::to_string(call),
             std::string("KORAVEL_FAULT_KIND=") + kind, "KORAVEL_FAULT_LOG=" + m_log.string(),
             // The shim comes before a sanitizer's runtime, which then must not mind.
             "ASAN_OPTIONS=verify_asan_link_order=0:detect_leaks=0"},
            m_folder}();
    }
    // How many calls the shim counted, and the one the fault hit ("write", ...), if any.
    std::pair<int, std::string> counted() const {
        std::istringstream log(Slurp(m_log));
        int calls = 0;
        std::string hit;
        for (std::string line; std::getline(log, line); ++calls) {
            std::istringstream words(line);
            std::string number, call;
            words >> number >> call;
            if (line.ends_with(" fault")) hit = call;
        }
        return {calls, hit};
    }

    // Runs the save with a fault at every call in turn, for every kind, and checks it.
    void sweep(const Save& save) {
        std::map<std::string, std::map<std::string, std::map<std::string, int>>> table;
        reset();
        ASSERT_EQ(run(save.args(), 0, "eio").status, 0);
        const std::string after = Slurp(save.file);
        ASSERT_NE(after, save.before);
        for (const char* kind : kKinds) {
            for (int call = 1;; ++call) {
                reset();
                const Ran ran = run(save.args(), call, kind);
                const auto [calls, hit] = counted();
                if (calls < call) break;
                if (hit.empty()) continue;  // "short" for a call that is no write
                const std::string now = Slurp(save.file);
                const bool unchanged = now == save.before, saved = now == after;
                EXPECT_TRUE(unchanged || saved) << save.name << " " << kind << " at " << hit;
                const bool recoverable =
                    std::string(kind) == "eintr" || std::string(kind) == "short";
                if (recoverable) {
                    EXPECT_EQ(ran.status, 0)
                        << save.name << " " << kind << " at " << hit << ": " << ran.err;
                    EXPECT_TRUE(saved) << save.name << " " << kind << " at " << hit;
                } else {
                    EXPECT_NE(ran.status, 0) << save.name << " " << kind << " at " << hit;
                    EXPECT_NE(ran.err, "") << save.name << " " << kind << " at " << hit;
                }
                std::size_t left = 0;  // temporary files of a save that failed
                for (const auto& entry : fs::directory_iterator(save.file.parent_path()))
                    left += entry.path().filename().string().starts_with(".kelvo.conf.") ? 1 : 0;
                EXPECT_EQ(left, 0u) << save.name << " " << kind << " at " << hit;
                ++table[hit][kind][unchanged         ? "unchanged"
                                   : ran.status == 0 ? "saved"
                                                     : "saved, said"];
            }
        }
        // The table for the record: call, then each kind's outcomes.
        std::cout << save.name << ":\n";
        for (const auto& [call, kinds] : table) {
            std::cout << "  " << call;
            for (const auto& [kind, outcomes] : kinds)
                for (const auto& [outcome, count] : outcomes)
                    std::cout << "  " << kind << ": " << count << " " << outcome;
            std::cout << "\n";
        }
    }

    QTemporaryDir m_dir;
    fs::path m_folder = m_dir.path().toStdString();
    fs::path m_log = fs::path(m_dir.path().toStdString() + ".log");
    tools::FakeSite m_site;
};

TEST_F(FaultSweep, ASaveToSaveTxtIsWholeOrNothing) {
    sweep({"save.txt", m_folder / "save.txt", "earlier\r\n", [] {
               return std::vector<std::string>{KORAVEL_BINARY, "--scan", "D", "--save"};
           }});
}

TEST_F(FaultSweep, ASaveOfTheSettingsIsWholeOrNothing) {
    sweep({"kelvo.conf", m_folder / "config/kelvo.conf",
           "[Koravel]\nUseProxy=1\nProxyServer=127.0.0.1\nProxyPort=" +
               std::to_string(m_site.port()) + "\n; mine\n",
           [] {
               return std::vector<std::string>{KORAVEL_SETTINGS_SAVER, "changed"};
           }});
}

// A real disk filled to its last blocks: a tmpfs of a child's own.
TEST_F(FaultSweep, AFullDiskKeepsBothFilesAsTheyWere) {
    const std::string said = testing::InChild([&]() -> std::string {
        const fs::path disk = m_folder / "disk";
        fs::create_directory(disk);
        if (const std::string why = testing::PrivateTmpfs(disk, 256 << 10); !why.empty())
            return "cannot: " + why;
        fs::create_directory(disk / "config");
        Spit(disk / "data.ini", "[D]\nteam1=1101\n");
        const std::string conf = "[Koravel]\nUseProxy=1\nProxyServer=127.0.0.1\nProxyPort=" +
                                 std::to_string(m_site.port()) + "\n";
        Spit(disk / "config/kelvo.conf", conf);
        // Its one page all but full, so that the block needs another.
        const std::string earlier = std::string(4000, 'e') + "\r\n";
        Spit(disk / "save.txt", earlier);
        testing::FillUp(disk);
        const auto ran = [&](std::vector<std::string> args) {
            return testing::Run{std::move(args),
                                {"XDG_CONFIG_HOME=" + (disk / "config").string(), "LC_ALL=C.UTF-8"},
                                disk}();
        };
        const Ran scan = ran({KORAVEL_BINARY, "--scan", "D", "--save"});
        const Ran settings = ran({KORAVEL_SETTINGS_SAVER, std::string(3000, 'l')});
        return std::to_string(scan.status) + " " + scan.err + std::to_string(settings.status) +
               " " + settings.err +
               (Slurp(disk / "save.txt") == earlier ? "save.txt kept, " : "save.txt changed, ") +
               (Slurp(disk / "config/kelvo.conf") == conf ? "kelvo.conf kept"
                                                          : "kelvo.conf changed");
    });
    if (said.starts_with("cannot")) GTEST_FAIL() << said;
    EXPECT_EQ(said, "1 koravel: Disk full\n1 Failed to set data for 'ProxyLogin' (" +
                        (m_folder / "disk/config/kelvo.conf").string() +
                        ": No space left on device)\nsave.txt kept, kelvo.conf kept");
}

}  // namespace
}  // namespace koravel
