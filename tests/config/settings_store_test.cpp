#include "config/settings_store.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QSettings>
#include <QTemporaryDir>

#include <filesystem>
#include <string>

#include "common/code_page.h"
#include "common/error.h"
#include "config/scrambler.h"

namespace koravel::config {
namespace {

using common::ProxySettings;

class SettingsStoreTest : public ::testing::Test {
protected:
    QString file() const { return m_dir.filePath(QStringLiteral("kelvo.conf")); }
    SettingsStore store() const { return SettingsStore(file()); }

    void write(const QByteArray& bytes) const {
        QFile out(file());
        ASSERT_TRUE(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
        out.write(bytes);
    }

    QVariant stored(const QString& name) const {
        return QSettings(file(), QSettings::IniFormat).value(QStringLiteral("Koravel/") + name);
    }

    std::filesystem::perms mode() const {
        return std::filesystem::status(file().toStdString()).permissions() &
               std::filesystem::perms::mask;
    }

    QTemporaryDir m_dir;
};

ProxySettings Ticked() {
    // "секрет" in Windows-1251
    return {true, "user", "\xF1\xE5\xEA\xF0\xE5\xF2", "proxy.example", "3128"};
}

TEST_F(SettingsStoreTest, NothingStoredLoadsNothing) {
    EXPECT_EQ(store().load(), std::nullopt);
    write("[Other]\nUseProxy=1\n");
    EXPECT_EQ(store().load(), std::nullopt);
    write("[Koravel]\n");
    EXPECT_EQ(store().load(), std::nullopt);
}

TEST_F(SettingsStoreTest, TickedBoxRoundTripsAndScramblesThePassword) {
    store().save(Ticked());
    EXPECT_EQ(store().load(), Ticked());

    EXPECT_EQ(stored("UseProxy").toString(), "1");
    EXPECT_EQ(stored("ProxyPasswd").toString().toStdString(),
              common::Cp1251ToUtf8(Encrypt(Ticked().ProxyPasswd, StartKey, Multiplier, Increment)));
}

TEST_F(SettingsStoreTest, ClearBoxWritesOnlyTheFlag) {
    store().save(Ticked());
    store().save({false, "other", "other", "other", "1"});

    EXPECT_EQ(stored("UseProxy").toString(), "0");
    ProxySettings expected = Ticked();
    expected.UseProxy = false;
    EXPECT_EQ(store().load(), expected);
}

TEST_F(SettingsStoreTest, UseProxyIsAnIntegerText) {
    for (const char* text : {"2", "-1", "$1", " 0x10"}) {
        write(QByteArray("[Koravel]\nUseProxy=") + text + "\n");
        EXPECT_TRUE(store().load().value().UseProxy) << text;
    }
    for (const char* text : {"abc", "", "0", "\"1 \"", "99999999999"}) {
        write(QByteArray("[Koravel]\nUseProxy=") + text + "\n");
        EXPECT_FALSE(store().load().value().UseProxy) << text;
    }
    write("[Koravel]\nProxyLogin=me\n");
    EXPECT_EQ(store().load(), (ProxySettings{false, "me", "", "", ""}));
    // An integer-typed value (Qt's form of a registry DWORD 5) is taken as it is.
    write("[Koravel]\nUseProxy=@Variant(\\0\\0\\0\\x2\\0\\0\\0\\x5)\n");
    EXPECT_TRUE(store().load().value().UseProxy);
}

TEST_F(SettingsStoreTest, EmptyPasswordIsStoredAsEmptyText) {
    store().save({true, "", "", "", ""});
    EXPECT_EQ(stored("ProxyPasswd"), QVariant(QString()));
    EXPECT_EQ(store().load(), (ProxySettings{true, "", "", "", ""}));
}

TEST_F(SettingsStoreTest, PasswordsComeBackWhole) {
    ProxySettings settings = Ticked();
    settings.ProxyPasswd = "px";  // scrambles to 0x72 0x00
    store().save(settings);
    EXPECT_EQ(store().load(), settings);

    // Every byte value, 0x00 and the undefined 0x98 included, past 255 bytes.
    settings.ProxyPasswd.clear();
    for (int i = 0; i < 300; ++i) settings.ProxyPasswd.push_back(static_cast<char>(i * 7));
    store().save(settings);
    EXPECT_EQ(store().load(), settings);
}

TEST_F(SettingsStoreTest, TextsAreStoredAsTyped) {
    const ProxySettings settings{true, "a, b", "=;#[x]", "@proxy", "80a"};
    store().save(settings);
    EXPECT_EQ(store().load(), settings);
}

TEST_F(SettingsStoreTest, UnparsableFileLoadsNothingAndIsRepairedBySave) {
    write("[Koravel\nUseProxy=1\n");
    EXPECT_EQ(store().load(), std::nullopt);
    store().save(Ticked());
    EXPECT_EQ(store().load(), Ticked());
}

TEST_F(SettingsStoreTest, FileIsPrivateAfterEverySave) {
    store().save(Ticked());
    EXPECT_EQ(mode(), std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);

    std::filesystem::permissions(file().toStdString(), std::filesystem::perms::owner_read |
                                                           std::filesystem::perms::owner_write |
                                                           std::filesystem::perms::group_read |
                                                           std::filesystem::perms::others_read);
    store().save({false, "", "", "", ""});
    EXPECT_EQ(mode(), std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
}

TEST_F(SettingsStoreTest, WrongShapeNamesTheValueAndKeepsWhatWasRead) {
    write("[Koravel]\nUseProxy=1\nProxyLogin=me\nProxyPasswd=\nProxyServer=a, b\nProxyPort=1\n");
    ProxySettings partial;
    try {
        store().load(&partial);
        FAIL() << "no error";
    } catch (const common::Error& error) {
        EXPECT_STREQ(error.what(), "Invalid data type for 'ProxyServer'");
    }
    EXPECT_EQ(partial, (ProxySettings{true, "me", "", "", ""}));

    write("[Koravel]\nUseProxy=1, 2\n");
    try {
        store().load();
        FAIL() << "no error";
    } catch (const common::Error& error) {
        EXPECT_STREQ(error.what(), "Invalid data type for 'UseProxy'");
    }
    write("[Koravel]\nProxyPort=@ByteArray(80)\n");
    EXPECT_THROW(store().load(), common::Error);
}

TEST_F(SettingsStoreTest, SaveCreatesMissingFoldersOrFails) {
    const SettingsStore nested(m_dir.filePath(QStringLiteral("a/b/kelvo.conf")));
    nested.save(Ticked());
    EXPECT_EQ(nested.load(), Ticked());

    // A regular file stands where a folder is needed; that stops root as well.
    write("not a folder");
    const SettingsStore blocked(file() + QStringLiteral("/sub/kelvo.conf"));
    EXPECT_THROW(blocked.save(Ticked()), common::Error);
}

TEST_F(SettingsStoreTest, SiteHostsAreOptionalAndNeverWritten) {
    EXPECT_EQ(store().siteHost(), std::nullopt);
    write("[Koravel]\nSiteHost=game.example\nSiteWebHost=\n");
    EXPECT_EQ(store().siteHost(), "game.example");
    EXPECT_EQ(store().siteWebHost(), std::nullopt);

    store().save(Ticked());
    EXPECT_EQ(store().siteHost(), "game.example");
    EXPECT_EQ(stored("SiteWebHost").toString(), "");
}

// The one test of the per-user store. Qt fixes its folder at the first native QSettings of
// the process, so XDG_CONFIG_HOME is pointed at a temporary folder once, and nothing is
// written unless Qt really resolves the store there.
TEST(SettingsStoreNative, LivesInKelvoConfUnderTheConfigHome) {
    static const QTemporaryDir home;
    static const bool pointed = qputenv("XDG_CONFIG_HOME", home.path().toLocal8Bit());
    ASSERT_TRUE(pointed);
    const QString file = home.filePath(QStringLiteral("kelvo.conf"));
    ASSERT_EQ(QSettings(QSettings::NativeFormat, QSettings::UserScope, "kelvo").fileName(), file);

    SettingsStore().save(Ticked());
    EXPECT_EQ(QSettings(file, QSettings::IniFormat).value("Koravel/UseProxy").toString(), "1");
    EXPECT_EQ(SettingsStore().load(), Ticked());
}

}  // namespace
}  // namespace koravel::config
