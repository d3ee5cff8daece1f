#include "config/settings_store.h"

#include <gtest/gtest.h>

#include <QSettings>
#include <QTemporaryDir>

#include <filesystem>
#include <fstream>

#include "common/code_page.h"
#include "common/error.h"
#include "config/scrambler.h"

namespace koravel::config {
namespace {

namespace fs = std::filesystem;
using common::ProxySettings;

std::string Scrambled(std::string_view plain) {
    return Encrypt(plain, StartKey, Multiplier, Increment);
}

TEST(Scrambler, MatchesVectorsWorkedOutByHand) {
    // Mask (0x2C9 >> 8) & 0xFF = 0x02 gives 0x43; key (0x2C9 + 0x43) * 0x9E3C + 0x4D27 =
    // 0x1E26BF7 gives mask 0x6B.
    EXPECT_EQ(Scrambled("AB"), "\x43\x29");
    EXPECT_EQ(Scrambled("px"), std::string("\x72\x00", 2));
    // Mask 0, then key (0 + 0x41) * 1 + 0x100 = 0x141: mask 0x01.
    EXPECT_EQ(Encrypt("AA", 0, 1, 0x100), "\x41\x40");
}

TEST(Scrambler, DecryptUndoesEncryptAtEveryLength) {
    std::string plain;
    for (int length = 0; length <= 300; ++length, plain.push_back(static_cast<char>(length * 97))) {
        ASSERT_EQ(Decrypt(Scrambled(plain), StartKey, Multiplier, Increment), plain) << length;
    }
    // An 8-bit byte count would leave the bytes from 256 on as they were.
    EXPECT_NE(Scrambled(std::string(300, 'a')).substr(256), std::string(44, 'a'));
    // The mask of a byte depends only on the scrambled bytes before it.
    const std::string a = Scrambled("secret-1"), b = Scrambled("secret-2");
    EXPECT_EQ(a.substr(0, 7), b.substr(0, 7));
    EXPECT_EQ(a.back() ^ b.back(), '1' ^ '2');
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
    SettingsStore store() const { return SettingsStore(file()); }
    // Written past QSettings, whose per-process cache would otherwise answer.
    void write(const std::string& text) const {
        std::ofstream(file().toStdString(), std::ios::binary) << text;
    }
    QString stored(const QString& name) const {
        return QSettings(file(), QSettings::IniFormat).value("Koravel/" + name).toString();
    }

    QTemporaryDir m_dir;
};

TEST_F(SettingsStoreTest, NothingStoredLoadsNothing) {
    EXPECT_EQ(store().load(), std::nullopt);
    // The last cannot be parsed; a save repairs it.
    for (const char* text :
         {"", "[Other]\nUseProxy=1\n", "[Koravel]\n", "[Koravel\nUseProxy=1\n"}) {
        write(text);
        EXPECT_EQ(store().load(), std::nullopt) << text;
    }
    store().save(kTicked);
    EXPECT_EQ(store().load(), kTicked);
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
        EXPECT_EQ(store().load(), settings);
    }
}

TEST_F(SettingsStoreTest, ClearBoxWritesOnlyTheFlag) {
    store().save(kTicked);
    store().save({false, "other", "other", "other", "1"});
    EXPECT_EQ(stored("UseProxy"), "0");
    ProxySettings expected = kTicked;
    expected.UseProxy = false;
    EXPECT_EQ(store().load(), expected);
}

TEST_F(SettingsStoreTest, UseProxyTicksForANonZeroInteger) {
    const auto ticks = [&](const std::string& text) {
        write("[Koravel]\nUseProxy=" + text + "\n");
        return store().load().value().UseProxy;
    };
    // The last ticking text is how Qt keeps a 32-bit integer (a registry DWORD) 5.
    for (const char* text : {"2", "-1", "$1", " 0x10", "@Variant(\\0\\0\\0\\x2\\0\\0\\0\\x5)"})
        EXPECT_TRUE(ticks(text)) << text;
    for (const char* text : {"abc", "", "0", "\"1 \"", "99999999999"})
        EXPECT_FALSE(ticks(text)) << text;
    write("[Koravel]\nProxyLogin=me\n");
    EXPECT_EQ(store().load(), (ProxySettings{false, "me", "", "", ""}));
}

TEST_F(SettingsStoreTest, WrongShapeNamesTheValueAndKeepsWhatWasRead) {
    write("[Koravel]\nUseProxy=1\nProxyLogin=me\nProxyServer=a, b\nProxyPort=1\n");
    ProxySettings partial;
    EXPECT_EQ(ErrorOf([&] { store().load(&partial); }), "Invalid data type for 'ProxyServer'");
    EXPECT_EQ(partial, (ProxySettings{true, "me", "", "", ""}));
    write("[Koravel]\nUseProxy=1, 2\n");
    EXPECT_EQ(ErrorOf([&] { store().load(); }), "Invalid data type for 'UseProxy'");
}

TEST_F(SettingsStoreTest, FileIsPrivateAfterEverySave) {
    const auto mode = [&] { return fs::status(file().toStdString()).permissions(); };
    store().save(kTicked);
    EXPECT_EQ(mode(), fs::perms::owner_read | fs::perms::owner_write);
    fs::permissions(file().toStdString(), fs::perms::others_read, fs::perm_options::add);
    store().save({});
    EXPECT_EQ(mode(), fs::perms::owner_read | fs::perms::owner_write);
}

TEST_F(SettingsStoreTest, UnreadableFileLoadsAsDefaults) {
    write("[Koravel]\nUseProxy=1\nProxyLogin=me\n");
    fs::permissions(file().toStdString(), fs::perms::none);
    if (std::ifstream(file().toStdString()))
        GTEST_SKIP() << "the file stays readable: permission bits do not bind this user (root)";
    EXPECT_EQ(store().load(), std::nullopt);
}

TEST_F(SettingsStoreTest, SaveCreatesMissingFoldersOrFails) {
    const SettingsStore nested(m_dir.filePath(QStringLiteral("a/b/kelvo.conf")));
    nested.save(kTicked);
    EXPECT_EQ(nested.load(), kTicked);
    // A regular file stands where a folder is needed; that stops root as well.
    write("not a folder");
    EXPECT_EQ(ErrorOf([&] { SettingsStore(file() + "/sub/kelvo.conf").save(kTicked); }),
              "Failed to create key Koravel");
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
    EXPECT_EQ(SettingsStore().load(), kTicked);
}

}  // namespace
}  // namespace koravel::config
