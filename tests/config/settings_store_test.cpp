#include "config/settings_store.h"

#include <gtest/gtest.h>

#include <QSettings>
#include <QTemporaryDir>

#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "common/code_page.h"
#include "config/scrambler.h"

namespace koravel::config {
namespace {

namespace fs = std::filesystem;
using common::ProxySettings;

// The scrambler worked out independently: only bits 8..15 of the running key reach the
// output, so a 16-bit key gives the same bytes as the 32-bit one.
std::string Scrambled(std::string_view plain) {
    std::uint16_t key = 0x2C9;
    std::string out;
    for (const char c : plain) {
        const auto q = static_cast<unsigned char>(static_cast<unsigned char>(c) ^ (key >> 8));
        out.push_back(static_cast<char>(q));
        key = static_cast<std::uint16_t>((std::uint32_t{key} + q) * 0x9E3Cu + 0x4D27u);
    }
    return out;
}

// Longer texts, zero bytes included, go through the store below against the model.
TEST(Scrambler, MatchesVectorsWorkedOutByHand) {
    // Mask (0x2C9 >> 8) & 0xFF = 0x02 gives 0x43; key (0x2C9 + 0x43) * 0x9E3C + 0x4D27 =
    // 0x1E26BF7 gives mask 0x6B. For "px" the second mask is 0x78, so the byte is 0.
    for (const auto& [plain, scrambled] : std::vector<std::pair<std::string, std::string>>{
             {"AB", "\x43\x29"}, {"px", std::string("\x72\x00", 2)}, {"", ""}}) {
        EXPECT_EQ(Encrypt(plain, StartKey, Multiplier, Increment), scrambled) << plain;
        EXPECT_EQ(Decrypt(scrambled, StartKey, Multiplier, Increment), plain) << plain;
    }
    // With (0, 1, 0x100): mask 0, then key 0x41 + 0x100 = 0x141, mask 0x01.
    EXPECT_EQ(Encrypt("AA", 0, 1, 0x100), "\x41\x40");
}

// "секрет" in Windows-1251; the port is not a number and stays as typed.
const ProxySettings kTicked{true, "user", "\xF1\xE5\xEA\xF0\xE5\xF2", "proxy.example", "80a"};

template <typename Action>
std::string ErrorOf(Action action) try {
    action();
    return "no error";
} catch (const common::Error& e) {
    return e.what();
}

class SettingsStoreTest : public ::testing::Test {
protected:
    QString file() const { return m_dir.filePath(QStringLiteral("kelvo.conf")); }
    fs::path path() const { return file().toStdString(); }
    SettingsStore store() const { return SettingsStore(file()); }
    std::optional<ProxySettings> loaded() const { return store().load().settings; }
    // Written past QSettings, whose per-process cache would otherwise answer.
    void write(const std::string& text) const { std::ofstream(path(), std::ios::binary) << text; }
    QString stored(const QString& name) const {
        return QSettings(file(), QSettings::IniFormat).value("Koravel/" + name).toString();
    }

    QTemporaryDir m_dir;
};

// UseProxy ticks for any non-zero integer; a wrong kind of value names itself and keeps
// what was read before it. "@Variant(...)" is how Qt keeps a 32-bit integer (a DWORD) 5.
TEST_F(SettingsStoreTest, LoadsWhatIsStored) {
    const std::optional<ProxySettings> none;
    const ProxySettings on{true, "", "", "", ""}, off{}, me{false, "me", "", "", ""};
    // clang-format off
    const std::vector<std::tuple<std::string, std::optional<ProxySettings>, std::string>> cases = {
        {"", none, ""}, {"[Other]\nUseProxy=1", none, ""}, {"[Koravel]", none, ""},
        {"[Koravel\nUseProxy=1", none, ""},  // cannot be parsed
        {"UseProxy=2", on, ""}, {"UseProxy=-1", on, ""}, {"UseProxy=$1", on, ""},
        {"UseProxy= 0x10", on, ""}, {"UseProxy=@Variant(\\0\\0\\0\\x2\\0\\0\\0\\x5)", on, ""},
        {"UseProxy=abc", off, ""}, {"UseProxy=", off, ""}, {"UseProxy=0", off, ""},
        {"UseProxy=\"1 \"", off, ""}, {"UseProxy=99999999999", off, ""}, {"ProxyLogin=me", me, ""},
        {"UseProxy=1, 2\nProxyLogin=me", off, "Invalid data type for 'UseProxy'"},
        {"UseProxy=0\nProxyLogin=me\nProxyServer=a, b\nProxyPort=1", me,
         "Invalid data type for 'ProxyServer'"}};
    // clang-format on
    for (const auto& [text, settings, error] : cases) {
        write(text.starts_with('[') || text.empty() ? text : "[Koravel]\n" + text + "\n");
        const LoadedSettings result = store().load();
        EXPECT_EQ(result.settings, settings) << text;
        EXPECT_EQ(result.error ? result.error->what() : "", error) << text;
    }
}

TEST_F(SettingsStoreTest, PasswordsAreStoredScrambledAndLoadBackWhole) {
    // Empty; "px" scrambles to 0x72 0x00; 300 bytes of every value, 0x98 included.
    std::string every;
    for (int i = 0; i < 300; ++i) every.push_back(static_cast<char>(i * 7));
    ProxySettings settings = kTicked;
    for (const std::string& password : {std::string(), std::string("px"), every}) {
        settings.ProxyPasswd = password;
        store().save(settings);
        EXPECT_EQ(stored("ProxyPasswd").toStdString(), common::Cp1251ToUtf8(Scrambled(password)));
        EXPECT_EQ(loaded(), settings);
    }
}

TEST_F(SettingsStoreTest, ClearBoxWritesOnlyTheFlagAndNeverTheHosts) {
    write("[Koravel\nSiteHost=x\n");  // an unparsable file is started afresh
    store().save(kTicked);
    EXPECT_EQ(loaded(), kTicked);
    write("[Koravel]\nSiteHost=games.example\n");
    store().save(kTicked);
    store().save({false, "other", "other", "other", "1"});
    EXPECT_EQ(stored("UseProxy"), "0");
    ProxySettings expected = kTicked;
    expected.UseProxy = false;
    EXPECT_EQ(loaded(), expected);
    EXPECT_EQ(store().siteHost(), "games.example");
    EXPECT_EQ(store().siteWebHost(), std::nullopt);
}

// Under umask 0 a file made with default permissions would be readable by all; watching
// the folder shows a mode narrowed only after the file was made.
TEST_F(SettingsStoreTest, FileIsPrivateFromTheMomentItExists) {
    const mode_t saved = ::umask(0);
    const int watch = ::inotify_init1(IN_NONBLOCK);
    ASSERT_GE(::inotify_add_watch(watch, m_dir.path().toLocal8Bit().constData(), IN_ATTRIB), 0);
    store().save(kTicked);
    alignas(inotify_event) char events[4096];
    const ssize_t size = ::read(watch, events, sizeof events);
    for (ssize_t at = 0; at < size;) {
        const auto* event = reinterpret_cast<const inotify_event*>(events + at);
        EXPECT_NE(std::string(event->len != 0 ? event->name : ""), "kelvo.conf");
        at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
    }
    ::close(watch);
    const auto mode = [&] { return fs::status(path()).permissions(); };
    EXPECT_EQ(mode(), fs::perms::owner_read | fs::perms::owner_write);
    // A file left wider by an older version is narrowed before the password goes in.
    fs::permissions(path(), fs::perms::group_read | fs::perms::others_read, fs::perm_options::add);
    store().save(kTicked);
    EXPECT_EQ(mode(), fs::perms::owner_read | fs::perms::owner_write);
    ::umask(saved);
}

TEST_F(SettingsStoreTest, SaveCreatesMissingFoldersOrFails) {
    const SettingsStore nested(m_dir.filePath(QStringLiteral("a/b/kelvo.conf")));
    nested.save(kTicked);
    EXPECT_EQ(nested.load().settings, kTicked);
    // A regular file stands where a folder is needed, a folder where the file is; that
    // stops root as well.
    write("not a folder");
    EXPECT_EQ(ErrorOf([&] { SettingsStore(file() + "/sub/kelvo.conf").save(kTicked); }),
              "Failed to create key Koravel");
    fs::create_directory(m_dir.filePath("folder").toStdString());
    EXPECT_EQ(ErrorOf([&] { SettingsStore(m_dir.filePath("folder")).save(kTicked); }),
              "Failed to create key Koravel");
}

// Permission bits do not bind root; run as another user, these catch unchecked results.
TEST_F(SettingsStoreTest, UnreadableLoadsNothingAndUnwritableNamesTheValue) {
    if (::geteuid() == 0) GTEST_SKIP() << "permission bits do not bind root";
    write("[Koravel]\nUseProxy=1\nProxyLogin=me\n");
    fs::permissions(path(), fs::perms::none);
    EXPECT_EQ(loaded(), std::nullopt);
    // Qt itself reports no write failure on a file it cannot parse.
    fs::permissions(path(), fs::perms::owner_read | fs::perms::owner_write);
    write("[Koravel\nUseProxy=1\n");
    fs::permissions(m_dir.path().toStdString(), fs::perms::owner_read | fs::perms::owner_exec);
    const std::string error = ErrorOf([&] { store().save(kTicked); });
    fs::permissions(m_dir.path().toStdString(), fs::perms::owner_all);
    EXPECT_EQ(error, "Failed to set data for 'UseProxy'");
}

// Qt fixes the native store's folder at its first use in the process, so nothing is
// written unless Qt resolves it to the temporary home.
TEST(SettingsStoreNative, LivesInKelvoConfUnderTheConfigHome) {
    static const QTemporaryDir home;
    ASSERT_TRUE(qputenv("XDG_CONFIG_HOME", home.path().toLocal8Bit()));
    const QString file = home.filePath(QStringLiteral("kelvo.conf"));
    ASSERT_EQ(QSettings(QSettings::NativeFormat, QSettings::UserScope, "kelvo").fileName(), file);
    SettingsStore().save(kTicked);
    EXPECT_EQ(QSettings(file, QSettings::IniFormat).value("Koravel/UseProxy").toString(), "1");
    EXPECT_EQ(SettingsStore().load().settings, kTicked);
}

}  // namespace
}  // namespace koravel::config
