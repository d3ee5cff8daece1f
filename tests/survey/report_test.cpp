#include "survey/report.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <random>
#if defined(__unix__)
#include <sys/resource.h>
#include <csignal>
#endif

#include "common/code_page.h"
#include "common/error.h"
#include "survey/team_order.h"

namespace koravel::survey {
namespace {

namespace fs = std::filesystem;

std::string Cp(std::string_view utf8) { return common::Utf8ToCp1251(utf8); }

TeamList Example() {
    return {{Cp("Торпедо"), {"18", "7", "3", "2", "2,5"}, 1},
            {Cp("Заря"), {"9", "12", "1", "0", "0,75"}, 2},
            {Cp("Футбольный клуб Северянин"), {"14", "5", "2", "1", "1,5"}, 3}};
}

const std::string kExampleBlock =
    Cp(" \r\n"
       "Команда________________И_РП_19_Т>1_MaxT\r\n"
       "Торпедо_______________18__7__3__2__2,5\r\n"
       "Заря___________________9__12__1__0__0,75\r\n"
       "Футбольный клуб Северянин_14__5__2__1__1,5\r\n"
       " \r\n"
       "**************************************************\r\n");

// The row line of a one-row block.
std::string RowLine(std::string name, std::string players, std::vector<std::string> rest = {}) {
    std::vector<std::string> cells{std::move(players)};
    cells.insert(cells.end(), rest.begin(), rest.end());
    const std::string block = ReportBlock({{std::move(name), cells, 0}});
    const auto start = block.find("\r\n", 3) + 2;
    return block.substr(start, block.find("\r\n", start) - start);
}

std::string Slurp(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

class ReportFile : public ::testing::Test {
protected:
    void SetUp() override {
        m_dir = fs::temp_directory_path() /
                ("koravel-report-" + std::to_string(std::random_device{}()));
        fs::create_directories(m_dir);
    }
    void TearDown() override { fs::remove_all(m_dir); }

    std::string ErrorOf(const fs::path& file) {
        try {
            AppendReport(file, Example());
        } catch (const common::Error& e) {
            return e.what();
        }
        return "no error";
    }

    fs::path m_dir;
};

TEST(ReportBlock, ExampleInDisplayOrderByteForByte) {
    EXPECT_EQ(ReportBlock(Example()), kExampleBlock);
    EXPECT_EQ(ReportBlock({}), "");
    TeamList list = Example();
    SortState state;
    ListView1ColumnClick(list, state, 1, ",");
    const std::string block = ReportBlock(list);
    EXPECT_LT(block.find(Cp("Заря")), block.find(Cp("Футбольный")));
    EXPECT_LT(block.find(Cp("Футбольный")), block.find(Cp("Торпедо")));
}

TEST(ReportBlock, FillAlignsShortPlayersUnderHeader) {
    const std::string n22(22, 'N'), n23(23, 'N');
    EXPECT_EQ(RowLine(n22, "12"), n22 + "12________");
    EXPECT_EQ(RowLine(n22, "1"), n22 + "_1________");
    for (const char* players : {"", "1", "12", "123"})
        EXPECT_EQ(RowLine(n23, players), n23 + "_" + players + "________");
    EXPECT_EQ(RowLine(n23 + "NN", "7"), n23 + "NN_7________");
    EXPECT_EQ(RowLine("Abc", ""), "Abc" + std::string(20, '_') + "________");
    EXPECT_EQ(RowLine("Abc", "100"), "Abc" + std::string(19, '_') + "100________");
    // A half-filled row writes its missing fields empty.
    EXPECT_EQ(RowLine("Abc", "22", {"5"}), "Abc" + std::string(19, '_') + "22__5______");
    EXPECT_EQ(RepeatText("ab", 2), "abab");
    EXPECT_EQ(RepeatText("ab", 0), "");
    EXPECT_EQ(RepeatText("ab", -3), "");
}

TEST_F(ReportFile, EverySaveAppendsOneBlock) {
    const fs::path file = m_dir / "save.txt";
    AppendReport(file, {});
    EXPECT_FALSE(fs::exists(file));
    AppendReport(file, Example());
    EXPECT_EQ(Slurp(file), kExampleBlock);
    AppendReport(file, Example());
    EXPECT_EQ(Slurp(file), kExampleBlock + kExampleBlock);
}

TEST_F(ReportFile, FaultsCarryTheRuntimeTexts) {
    EXPECT_EQ(ErrorOf(m_dir), "File access denied");
    std::ofstream(m_dir / "plain") << "x";
    EXPECT_EQ(ErrorOf(m_dir / "plain" / "save.txt"), "I/O error 20");
    EXPECT_EQ(ErrorOf(m_dir / "missing" / "save.txt"), "I/O error 2");
}

TEST_F(ReportFile, FullDiskIsReported) {
    if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full on this system";
    EXPECT_EQ(ErrorOf("/dev/full"), "Disk full");
}

#if defined(__unix__)
TEST_F(ReportFile, FailedAppendKeepsEarlierBlocks) {
    // A file size limit makes the second append fail part way, even for root.
    const fs::path file = m_dir / "save.txt";
    AppendReport(file, Example());
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    rlimit limited = saved;
    limited.rlim_cur = kExampleBlock.size() + 10;
    setrlimit(RLIMIT_FSIZE, &limited);
    const std::string error = ErrorOf(file);
    setrlimit(RLIMIT_FSIZE, &saved);
    EXPECT_EQ(error, "I/O error " + std::to_string(EFBIG));
    EXPECT_EQ(Slurp(file).substr(0, kExampleBlock.size()), kExampleBlock);
}
#endif

}  // namespace
}  // namespace koravel::survey
