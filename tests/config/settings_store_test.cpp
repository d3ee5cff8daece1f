#include "config/settings_store.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QSettings>
#include <QTemporaryDir>

#include <filesystem>

#include "common/code_page.h"
#include "config/scrambler.h"
#include "tools/testing/files.h"
#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>

#include "tools/testing/child_process.h"
#endif

namespace koravel::config {
namespace {

namespace fs = std::filesystem;
using common::ProxySettings;
using testing::Slurp;
using testing::Spit;

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

// The password "AB" is stored as "C)".
const ProxySettings kTicked{true, "user", "AB", "proxy.example", "80a"};

class SettingsFile : public ::testing::Test {
protected:
    fs::path path() const { return m_dir.filePath("kelvo.conf").toStdString(); }
    SettingsStore store() const { return SettingsStore(path()); }
    LoadedSettings load() const { return store().load(); }
    std::string error() const {
        const LoadedSettings loaded = load();
        return loaded.error ? loaded.error->what() : "";
    }
    QTemporaryDir m_dir;
};

// UseProxy ticks for a non-zero integer and for "true"; other text is an error, never
// "no proxy". "@Variant(...)" is how Qt keeps a 32-bit integer (a DWORD) 5.
TEST_F(SettingsFile, LoadsWhatIsStoredAndNeverTakesANonsenseFlagAsNoProxy) {
    const std::optional<ProxySettings> none;
    const ProxySettings on{true, "", "", "", ""}, off{}, me{false, "me", "", "", ""};
    const std::string invalid =
        "Invalid value '%' for 'UseProxy' in " + path().string() + " (1 or 0, true or false)";
    const auto badFlag = [&](const std::string& value) {
        return std::string(invalid).replace(invalid.find('%'), 1, value);
    };
    // clang-format off
    const std::vector<std::tuple<std::string, std::optional<ProxySettings>, std::string>> cases = {
        {"", none, ""}, {"[Other]\nUseProxy=1", none, ""}, {"[Koravel]", none, ""},
        {"[Koravel\nUseProxy=1", on, ""},  // an unfinished header still names its section
        {"UseProxy=2", on, ""}, {"UseProxy=-1", on, ""}, {"UseProxy=$1", on, ""},
        {"UseProxy= 0x10", on, ""}, {"UseProxy=@Variant(\\0\\0\\0\\x2\\0\\0\\0\\x5)", on, ""},
        {"UseProxy=TRUE", on, ""}, {"UseProxy=false", off, ""}, {"UseProxy=", off, ""},
        {"UseProxy=0", off, ""}, {"ProxyLogin=me", me, ""},
        {"UseProxy=abc", off, badFlag("abc")}, {"UseProxy=\"1 \"", off, badFlag("1 ")},
        {"UseProxy=99999999999", off, badFlag("99999999999")},
        {"UseProxy=1, 2\nProxyLogin=me", off, "Invalid data type for 'UseProxy'"},
        {"UseProxy=0\nProxyLogin=me\nProxyServer=a, b\nProxyPort=1", me,
         "Invalid data type for 'ProxyServer'"},
        // A typo elsewhere hides nothing of [Koravel].
        {"UseProxy=1\n[Notes\nUseProxy=0\n[Koravel]\nProxyLogin=\"a;b\" ; note", 
         ProxySettings{true, "a;b", "", "", ""}, ""}};
    // clang-format on
    for (const auto& [text, settings, message] : cases) {
        Spit(path(), text.starts_with('[') || text.empty() ? text : "[Koravel]\n" + text + "\n");
        const LoadedSettings loaded = load();
        EXPECT_EQ(loaded.settings, settings) << text;
        EXPECT_EQ(loaded.error ? loaded.error->what() : "", message) << text;
    }
    // Host names only: a value that would make another address is an error, not a request
    // that fails. "-" for no host.
    const auto hosts = [&](const std::string& text) {
        Spit(path(), "[Koravel]\n" + text + "\n");
        const LoadedSettings loaded = load();
        EXPECT_EQ(loaded.settings, std::nullopt) << text;
        return std::tuple(loaded.siteHost.value_or("-"), loaded.siteWebHost.value_or("-"),
                          std::string(loaded.error ? loaded.error->what() : ""));
    };
    const std::string a253(253, 'a'), a254(254, 'a'),
        bad = "Invalid value '",
        in = "' in " + path().string() + " (a host name: letters, digits, '-' and '.')";
    EXPECT_EQ(hosts("SiteHost=Web-2.example\nSiteWebHost="), std::tuple("Web-2.example", "-", ""));
    EXPECT_EQ(hosts("SiteHost=" + a253 + "\nSiteWebHost=127.0.0.1"),
              std::tuple(a253, "127.0.0.1", ""));
    EXPECT_EQ(hosts("UseProxy=1\nSiteHost=127.0.0.1:80"),
              std::tuple("-", "-", bad + "127.0.0.1:80' for 'SiteHost" + in));
    EXPECT_EQ(hosts("SiteWebHost=a.example/x?"),
              std::tuple("-", "-", bad + "a.example/x?' for 'SiteWebHost" + in));
    EXPECT_EQ(hosts("SiteHost=a b"), std::tuple("-", "-", bad + "a b' for 'SiteHost" + in));
    EXPECT_EQ(hosts("SiteHost=" + a254), std::tuple("-", "-", bad + a254 + "' for 'SiteHost" + in));
}

TEST_F(SettingsFile, ASaveChangesOnlyItsValuesAndKeepsEveryOtherByte) {
    // What earlier versions wrote through Qt, keys in name order; then a user's file with
    // Windows line ends, other groups, comments and a line nothing can parse.
    store().save(kTicked);
    EXPECT_EQ(Slurp(path()),
              "[Koravel]\nProxyLogin=user\nProxyPasswd=C)\nProxyPort=80a\n"
              "ProxyServer=proxy.example\nUseProxy=1\n");
    const std::string mine =
        "; mine\r\n[Other]\r\nUseProxy=keep me\r\n[Koravel]\r\nSiteHost=x\r\nProxyLogin = old\r\n"
        "[Notes\r\ntypo here\r\n[Koravel]\r\nUseProxy=0\r\n[Tail]\r\nz=1";
    Spit(path(), mine);
    store().save({true, "@me", "px", "a, b", ""});
    EXPECT_EQ(Slurp(path()),
              "; mine\r\n[Other]\r\nUseProxy=keep me\r\n[Koravel]\r\nSiteHost=x\r\n"
              "ProxyLogin = @@me\r\n[Notes\r\ntypo here\r\n[Koravel]\r\nUseProxy=1\r\n"
              "ProxyPasswd=@String(r\\0)\r\nProxyPort=\r\nProxyServer=\"a, b\"\r\n[Tail]\r\nz=1");
    EXPECT_EQ(load().settings, (ProxySettings{true, "@me", "px", "a, b", ""}));
    // A clear box writes the flag alone; the rest stays for the next time.
    store().save({false, "other", "other", "other", "1"});
    EXPECT_EQ(load().settings, (ProxySettings{false, "@me", "px", "a, b", ""}));
}

TEST_F(SettingsFile, ReadsAndWritesWhatQtReadsAndWrites) {
    // Every byte a scrambled password can hold, and texts Qt has to quote or escape.
    std::string every;
    for (int i = 0; i < 300; ++i) every.push_back(static_cast<char>(i * 7));
    const ProxySettings odd{true, "\xC8\xE2\xE0\xED \"q\";x", every, " lead", "@8\\0"};
    {
        QSettings qt(QString::fromStdString(path().string()), QSettings::IniFormat);
        qt.setValue("Koravel/UseProxy", "1");
        qt.setValue("Koravel/ProxyLogin", QString::fromStdString(common::Cp1251ToUtf8(odd.login)));
        qt.setValue("Koravel/ProxyPasswd",
                    QString::fromStdString(common::Cp1251ToUtf8(Scrambled(odd.password))));
        qt.setValue("Koravel/ProxyServer", " lead");
        qt.setValue("Koravel/ProxyPort", "@8\\0");
    }
    EXPECT_EQ(load().settings, odd);
    // A file of its own, in folders the save makes: Qt keeps what it read of the first one.
    // (A folder that cannot be made: the window's test, "Failed to create key Koravel".)
    const fs::path ours = m_dir.filePath("a/b/ours.conf").toStdString();
    SettingsStore(ours).save(odd);
    QSettings qt(QString::fromStdString(ours.string()), QSettings::IniFormat);
    EXPECT_EQ(qt.value("Koravel/ProxyPasswd").toString().toStdString(),
              common::Cp1251ToUtf8(Scrambled(every)));
    EXPECT_EQ(qt.value("Koravel/ProxyLogin").toString(), "Иван \"q\";x");
    EXPECT_EQ(qt.value("Koravel/ProxyPort").toString(), "@8\\0");
    EXPECT_EQ(qt.status(), QSettings::NoError);
}

#ifdef _WIN32
// Under wine too: the user's own store is the registry, with the same value names.
TEST(NativeSettings, LiveInTheRegistryUnderKelvo) {
    const SettingsStore native = SettingsStore::Native();
    EXPECT_EQ(native.where(), "HKEY_CURRENT_USER\\Software\\kelvo\\Koravel");
    native.save(kTicked);
    EXPECT_EQ(native.load().settings, kTicked);
    EXPECT_EQ(QSettings("HKEY_CURRENT_USER\\Software\\kelvo\\Koravel", QSettings::NativeFormat)
                  .value("ProxyPasswd")
                  .toString(),
              "C)");
}
#else
TEST_F(SettingsFile, AFileThatCannotBeReadIsAnErrorAndNothingWaitsOnIt) {
    const std::string cannot = "Cannot read the settings file " + path().string() + ": ";
    ASSERT_EQ(::mkfifo(path().c_str(), 0600), 0);
    EXPECT_EQ(testing::InChild([&] { return error(); }), cannot + "not a regular file");
    fs::remove(path());
    fs::create_directory(path());
    EXPECT_EQ(error(), cannot + "not a regular file");
    fs::remove(path());
    Spit(path(), "[Koravel]\nUseProxy=1\n;" + std::string(kMaxSettingsBytes - 22, 'x'));
    EXPECT_EQ(load().settings, (ProxySettings{true, "", "", "", ""}));
    Spit(path(), Slurp(path()) + "x");
    EXPECT_EQ(error(), cannot + "larger than 1 MiB");
    fs::permissions(path(), fs::perms::none);
    fs::permissions(m_dir.path().toStdString(), fs::perms::all);
    EXPECT_EQ(testing::InChild([&] {
                  const std::string dropped = testing::DropRoot();
                  return dropped.empty() ? error() : dropped;
              }),
              cannot + "Permission denied");
    EXPECT_EQ(load().siteHost, std::nullopt);
}

TEST_F(SettingsFile, TheFileKeepsItsModeAndALinkStaysALink) {
    const auto mode = [](const fs::path& file) { return fs::status(file).permissions(); };
    const mode_t umask = ::umask(0);
    store().save(kTicked);
    ::umask(umask);
    EXPECT_EQ(mode(path()), fs::perms::owner_read | fs::perms::owner_write);
    fs::permissions(path(), fs::perms::group_read, fs::perm_options::add);
    store().save({true, "new", "", "", ""});
    EXPECT_EQ(mode(path()), fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    // Read-only stays read-only, and as it was; root too is told.
    fs::permissions(path(), fs::perms::owner_read);
    const std::string before = Slurp(path());
    EXPECT_THAT([&] { store().save(kTicked); }, ::testing::ThrowsMessage<common::Error>(
                                                    "Failed to set data for 'ProxyLogin' (" +
                                                    path().string() + ": the file is read-only)"));
    EXPECT_EQ(Slurp(path()), before);
    fs::permissions(path(), fs::perms::owner_write, fs::perm_options::add);
    // A save that changes nothing writes nothing: the file is not even replaced.
    fs::create_hard_link(path(), m_dir.filePath("same").toStdString());
    store().save({true, "new", "", "", ""});
    EXPECT_TRUE(fs::equivalent(path(), m_dir.filePath("same").toStdString()));
    fs::remove(m_dir.filePath("same").toStdString());
    // A dotfile kept elsewhere through a link.
    const fs::path target = m_dir.filePath("dotfiles-kelvo.conf").toStdString();
    fs::rename(path(), target);
    fs::create_symlink(target, path());
    store().save(kTicked);
    EXPECT_TRUE(fs::is_symlink(path()));
    EXPECT_EQ(load().settings, kTicked);
    EXPECT_EQ(std::distance(fs::directory_iterator(m_dir.path().toStdString()), {}), 2);
}

TEST(NativeSettings, LiveInKelvoConfUnderTheConfigHome) {
    const QTemporaryDir home;
    ASSERT_TRUE(qputenv("XDG_CONFIG_HOME", home.path().toLocal8Bit()));
    EXPECT_EQ(SettingsStore::Native().where(), home.filePath("kelvo.conf").toStdString());
    qunsetenv("XDG_CONFIG_HOME");
    ASSERT_TRUE(qputenv("HOME", home.path().toLocal8Bit()));
    EXPECT_EQ(SettingsStore::Native().where(), home.filePath(".config/kelvo.conf").toStdString());
}
#endif

}  // namespace
}  // namespace koravel::config
