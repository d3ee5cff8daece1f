// Every file call of a save made to fail in turn, in each way a disk fails, through the
// real program: save.txt and kelvo.conf must each end either as they were or as the new
// content, never between; an interrupted call is retried and a short write continued;
// any other fault is said, with a failing status. Only a disk that goes on failing, so
// that not even the cut-back works, may leave part of a list, and that is said too.
#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <filesystem>
#include <iostream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "tools/fake_site/fake_site.h"
#include "tools/testing/child_process.h"
#include "tools/testing/files.h"
#include "tools/testing/run_program.h"

namespace koravel {
namespace {

namespace fs = std::filesystem;
using testing::Ran;
using testing::Slurp;
using testing::Spit;

class FaultSweep : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directory(m_folder / "config");
        m_site.servePages();
    }
    std::string conf() const {
        return "[Koravel]\nUseProxy=1\nProxyServer=127.0.0.1\nProxyPort=" +
               std::to_string(m_site.port()) + "\n; mine\n";
    }
    void reset() const {
        Spit(m_folder / "data.ini", "[D]\nteam1=1101\nteam2=1102\n");
        Spit(m_folder / "config/kelvo.conf", conf());
        Spit(m_folder / "save.txt", "earlier\r\n");
    }
    Ran run(const std::vector<std::string>& args, int call, const std::string& kind,
            const std::string& then = "") const {
        fs::remove(m_log);
        return testing::Child{
            args,
            {"XDG_CONFIG_HOME=" + (m_folder / "config").string(), "LC_ALL=C.UTF-8",
             "LD_PRELOAD=" KORAVEL_FAULT_SHIM, "KORAVEL_FAULT_DIR=" + m_folder.string(),
             "KORAVEL_FAULT_CALL=" + std::to_string(call), "KORAVEL_FAULT_KIND=" + kind,
             "KORAVEL_FAULT_THEN=" + then, "KORAVEL_FAULT_LOG=" + m_log.string(),
             // The shim comes before a sanitizer's runtime, which then must not mind.
             "ASAN_OPTIONS=verify_asan_link_order=0:detect_leaks=0"},
            m_folder}();
    }
    // Runs the save (`args`) with a fault at every call in turn, for every kind, and checks
    // `file`, which holds `before`; prints how each call ended under each kind.
    void sweep(const fs::path& file, const std::string& before,
               const std::vector<std::string>& args) {
        reset();
        ASSERT_EQ(run(args, 0, "eio").status, 0);
        const std::string after = Slurp(file);
        ASSERT_NE(after, before);
        // Whatever is written is flushed to disk before its file is closed.
        std::istringstream calls(Slurp(m_log));
        std::set<std::string> unflushed;
        for (std::string number, call, what;
             calls >> number >> call && std::getline(calls, what);) {
            if (call == "write") unflushed.insert(what);
            if (call == "fsync" || call == "fdatasync") unflushed.erase(what);
            EXPECT_FALSE(call == "close" && unflushed.contains(what)) << "not flushed:" << what;
        }
        std::map<std::string, std::map<std::string, int>> table;  // "call kind" -> outcomes
        const std::pair<std::string, std::string> kinds[] = {{"eio", ""},      {"enospc", ""},
                                                             {"eintr", ""},    {"short", ""},
                                                             {"short", "eio"}, {"eio", "eio"}};
        for (const auto& [kind, then] : kinds) {
            for (int call = 1;; ++call) {
                reset();
                const Ran ran = run(args, call, kind, then);
                // The shim's log: a line per counted call, " fault" after the one it hit.
                const std::string log = Slurp(m_log);
                if (std::count(log.begin(), log.end(), '\n') < call) break;
                const std::size_t hit = log.find(" fault");
                if (hit == std::string::npos) continue;  // "short" for a call that is no write
                const std::size_t start = log.rfind('\n', hit) + 1;
                std::istringstream line(log.substr(start, hit - start));
                std::string number, name, path;
                line >> number >> name >> path;
                // Qt's lock file: a failed flock, flush or close of it changes nothing, and
                // Qt goes on with the lock held all the same.
                const bool onLock = path.ends_with(".lock");
                const std::string fault = then.empty() ? kind : kind + ", then " + then;
                const std::string where = file.filename().string() + " " + fault + " at " + name +
                                          (onLock ? " of the lock" : "");
                const bool unchanged = Slurp(file) == before;
                const bool whole = unchanged || Slurp(file) == after;
                const bool partSaid = ran.err.find("part of this list") != std::string::npos;
                // Settings in place are saved, whatever failed after (the folder's flush).
                const bool unsureSaid =
                    ran.err ==
                    "Settings saved to " + file.string() +
                        ", but the save could not be made sure on disk: " +
                        (kind == "eio" ? "Input/output error\n" : "No space left on device\n");
                EXPECT_TRUE(whole || (!then.empty() && partSaid)) << where << ": " << ran.err;
                EXPECT_TRUE(!partSaid || !unchanged) << where;
                EXPECT_TRUE(file.filename() == "kelvo.conf" ? unchanged == (ran.status != 0)
                                                            : !unsureSaid)
                    << where << ": " << ran.err;
                if (then.empty() && (kind == "eintr" || kind == "short")) {
                    EXPECT_EQ(ran.status, 0) << where << ": " << ran.err;
                    EXPECT_FALSE(unchanged) << where;
                } else {
                    EXPECT_TRUE(ran.status != 0 ? !ran.err.empty() : unsureSaid || onLock) << where;
                }
                for (const auto& entry : fs::directory_iterator(file.parent_path())) {
                    const std::string left = entry.path().filename().string();
                    EXPECT_FALSE(left.starts_with(".kelvo") || left.ends_with(".lock")) << where;
                }
                ++table[name + (onLock ? " of the lock " : " ") + fault]
                       [unchanged         ? "unchanged"
                        : !whole          ? "part left, said"
                        : unsureSaid      ? "saved, not made sure, said"
                        : ran.status == 0 ? "saved"
                                          : "saved, said"];
            }
        }
        std::cout << file.filename().string() << ":\n";
        for (const auto& [call, outcomes] : table) {
            std::cout << "  " << call << ":";
            for (const auto& [outcome, count] : outcomes)
                std::cout << " " << count << " " << outcome;
            std::cout << "\n";
        }
    }

    QTemporaryDir m_dir;
    fs::path m_folder = m_dir.path().toStdString();
    fs::path m_log = fs::path(m_dir.path().toStdString() + ".log");
    tools::FakeSite m_site;
};

TEST_F(FaultSweep, ASaveToSaveTxtIsWholeOrNothing) {
    sweep(m_folder / "save.txt", "earlier\r\n", {KORAVEL_BINARY, "--scan", "D", "--save"});
}

TEST_F(FaultSweep, ASaveOfTheSettingsIsWholeOrNothing) {
    sweep(m_folder / "config/kelvo.conf", conf(), {KORAVEL_SETTINGS_SAVER, "changed"});
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
            return testing::Child{
                std::move(args),
                {"XDG_CONFIG_HOME=" + (disk / "config").string(), "LC_ALL=C.UTF-8"},
                disk}();
        };
        const Ran scan = ran({KORAVEL_BINARY, "--scan", "D", "--save"});
        const Ran settings = ran({KORAVEL_SETTINGS_SAVER, std::string(3000, 'l')});
        ::mount(nullptr, disk.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr);
        const Ran readOnly = ran({KORAVEL_BINARY, "--scan", "D", "--save"});
        return std::to_string(scan.status) + " " + scan.err + readOnly.err +
               std::to_string(settings.status) + " " + settings.err +
               (Slurp(disk / "save.txt") == earlier ? "save.txt kept, " : "save.txt changed, ") +
               (Slurp(disk / "config/kelvo.conf") == conf ? "kelvo.conf kept"
                                                          : "kelvo.conf changed");
    });
    if (said.starts_with("cannot"))
        GTEST_SKIP() << "no small file system of its own here: " << said;
    EXPECT_EQ(said,
              "1 koravel: Disk full\nkoravel: File access denied\n1 Failed to set data for "
              "'ProxyLogin' (" +
                  (m_folder / "disk/config/kelvo.conf").string() + ": cannot make the lock file " +
                  (m_folder / "disk/config/kelvo.conf").string() +
                  ".lock)\nsave.txt kept, kelvo.conf kept");
}

}  // namespace
}  // namespace koravel
