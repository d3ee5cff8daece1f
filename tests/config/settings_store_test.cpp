#include "config/settings_store.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QLockFile>
#include <QScopeGuard>
#include <QSettings>
#include <QTemporaryDir>

#include <filesystem>
#include <functional>

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

TEST(Scrambler, MatchesVectorsWorkedOutByHand) {
    // Mask (0x2C9 >> 8) & 0xFF = 0x02 gives 0x43; key (0x2C9 + 0x43) * 0x9E3C + 0x4D27 =
    // 0x1E26BF7 gives mask 0x6B. For "px" the second mask is 0x78, so the byte is 0.
    for (const auto& [plain, scrambled] : std::vector<std::pair<std::string, std::string>>{
             {"AB", "\x43\x29"},
             {"px", std::string("\x72\x00", 2)},
             {std::string("\x00%Jo\x94\xB9\xDE", 7), "\x02\x1B\x51\xE9\x66\x60\xDB"},
             {"", ""}}) {
        EXPECT_EQ(Scramble(plain), scrambled) << plain;
        EXPECT_EQ(Unscramble(scrambled), plain) << plain;
    }
    // With (0, 1, 0x100): mask 0, then key 0x41 + 0x100 = 0x141, mask 0x01.
    EXPECT_EQ(Scramble("AA", {0, 1, 0x100}), "\x41\x40");
}

// The password "AB" is stored as "C)".
const ProxySettings kTicked{true, "user", "AB", "proxy.example", "8080"};

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

// Only no file, no [Koravel] or a UseProxy of 0/false goes direct; every other form a
// settings file can take gives a whole proxy or an error naming the file and the value.
TEST_F(SettingsFile, FailsClosedOnEveryFormThatCannotGiveAWholeProxy) {
    const std::string file = path().string();
    const auto invalid = [&](const std::string& value, const std::string& name, const char* why) {
        return "Invalid value '" + value + "' for '" + name + "' in " + file + " (" + why + ")";
    };
    const auto misnamed = [&](const std::string& name, const char* group, const char* ours) {
        return "Invalid value name '" + name + "' in [" + group + "] of " + file +
               " (Koravel reads only '" + ours + "' in [Koravel], in that letter case)";
    };
    const char *flag = "1 or 0, true or false",
               *server = "UseProxy is on: a proxy server is needed",
               *port = "UseProxy is on: a port from 1 to 65535 is needed",
               *host = "a host name: letters, digits, '-' and '.'";
    const std::optional<ProxySettings> direct;
    const ProxySettings off, on{true, "", "", "p", "8080"};
    const auto onPort = [](const std::string& p) { return ProxySettings{true, "", "", "p", p}; };
    const std::string withPort = "UseProxy=1\nProxyServer=p\nProxyPort=";
    // clang-format off
    const std::vector<std::tuple<std::string, std::optional<ProxySettings>, std::string>> texts = {
        {"", direct, ""}, {"[Other]\nUseProxy=1\n[Koravel\\Sub]\nUseProxy=1", direct, ""},
        {"SiteHost=site.example", direct, ""}, {"UseProxy=FALSE", off, ""},
        {"UseProxy=0\nProxyServer=\nProxyPort=x", ProxySettings{false, "", "", "", "x"}, ""},
        {withPort + "8080\nUseProxy=0", ProxySettings{false, "", "", "p", "8080"}, ""},
        {"UseProxy=@Variant(\\0\\0\\0\\x2\\0\\0\\0\\x5)\nProxyServer=p\nProxyPort=8080", on, ""},
        {"[Koravel\nUseProxy=TRUE\nProxyServer=p\nProxyPort= 8080", on, ""},
        {withPort + "0x1F90", onPort("0x1F90"), ""}, {withPort + "65535", onPort("65535"), ""},
        // A typo elsewhere hides nothing of [Koravel].
        {"UseProxy=1\n[Notes\nUseProxy=0\n[Koravel]\nProxyServer=\"a;b\" ; note\nProxyPort=1",
         ProxySettings{true, "", "", "a;b", "1"}, ""},
        {"UseProxy=", off, invalid("", "UseProxy", flag)},
        {"UseProxy=\"1 \"", off, invalid("1 ", "UseProxy", flag)},
        {"UseProxy=99999999999", off, invalid("99999999999", "UseProxy", flag)},
        {"UseProxy=1, 2", off, "Invalid data type for 'UseProxy'"},
        {"UseProxy=@Invalid()", off, "Invalid data type for 'UseProxy'"},
        {"UseProxy=1\nProxyLogin=@ByteArray(me)", ProxySettings{true, "", "", "", ""},
         "Invalid data type for 'ProxyLogin'"},
        {"UseProxy=1\nProxyPort=8080", ProxySettings{true, "", "", "", "8080"},
         "No 'ProxyServer' in " + file + " (" + server + ")"},
        {"UseProxy=1\nProxyServer=\"  \"\nProxyPort=8080", ProxySettings{true, "", "", "  ", "8080"},
         invalid("  ", "ProxyServer", server)},
        {"UseProxy=1\nProxyServer=p", onPort(""), "No 'ProxyPort' in " + file + " (" + port + ")"},
        {withPort + "", onPort(""), invalid("", "ProxyPort", port)},
        {withPort + "0", onPort("0"), invalid("0", "ProxyPort", port)},
        {withPort + "65536", onPort("65536"), invalid("65536", "ProxyPort", port)},
        {withPort + "80a", onPort("80a"), invalid("80a", "ProxyPort", port)},
        {"ProxyServer=p", ProxySettings{false, "", "", "p", ""},
         "No 'UseProxy' beside the proxy values in " + file + " (1 or 0, true or false)"},
        {"[koravel]\nUseProxy=0", direct, "Invalid group '[koravel]' in " + file +
                                          " (Koravel reads only [Koravel], in that letter case)"},
        {"UseProxy=0\nproxyServer=p", direct, misnamed("proxyServer", "Koravel", "ProxyServer")},
        {"[General]\nKoravel/UseProxy=1", direct, misnamed("Koravel/UseProxy", "General", "UseProxy")},
        {"koravel\\proxyport=1\n[Koravel]\nUseProxy=0", direct,
         misnamed("koravel/proxyport", "General", "ProxyPort")},
        {"\xEF\xBB\xBF[Koravel]\r\nUseProxy=0", off, ""},
        {"[Koravel]\nUseProxy=0\n;" + std::string(kMaxSettingsBytes - 22, 'x'), off, ""},
        // Host names only: another address would be a request that fails elsewhere.
        {"UseProxy=1\nSiteWebHost=a.example/x?", direct, invalid("a.example/x?", "SiteWebHost", host)},
        {"SiteHost=" + std::string(254, 'a'), direct, invalid(std::string(254, 'a'), "SiteHost", host)}};
    // clang-format on
    for (const auto& [text, settings, message] : texts) {
        const bool whole =
            text.empty() || std::string_view("[k\xEF").find(text[0]) != std::string::npos;
        Spit(path(), whole ? text : "[Koravel]\n" + text + "\n");
        const LoadedSettings loaded = load();
        EXPECT_EQ(loaded.settings, settings) << text;
        EXPECT_EQ(loaded.error ? loaded.error->what() : "", message) << text;
    }
#ifndef _WIN32
    // The path in every other form, read as an ordinary user in a child, which nothing can
    // keep waiting.
    const std::string cannot = "Cannot read the settings file " + file + ": ";
    const fs::path gone = m_dir.filePath("gone").toStdString();
    fs::permissions(m_dir.path().toStdString(), fs::perms::all);
    const std::vector<std::pair<std::function<void()>, std::string>> forms = {
        {[] {}, ""},
        {[&] { fs::create_symlink(gone, path()); },
         cannot + "a link to " + gone.string() + ", which is not there"},
        {[&] { fs::create_symlink(path(), path()); }, cannot + "Too many levels of symbolic links"},
        {[&] { fs::create_directory(path()); }, cannot + "not a regular file"},
        {[&] { fs::create_symlink("/dev/null", path()); }, cannot + "not a regular file"},
        {[&] { ::mkfifo(path().c_str(), 0644); }, cannot + "not a regular file"},
        {[&] { Spit(path(), std::string(kMaxSettingsBytes + 1, '\n')); },
         cannot + "larger than 1 MiB"},
        {[&] { Spit(path(), "[Koravel]\nProxyLogin=\xC8\xE2\xE0\xED\n"); },
         cannot + "not UTF-8 text"},
        {[&] { Spit(path(), std::string("[\0K\0]\0\n\0", 8)); }, cannot + "not UTF-8 text"},
        {[&] { Spit(path(), ""), fs::permissions(path(), fs::perms::none); },
         cannot + "Permission denied"}};
    for (const auto& [make, message] : forms) {
        fs::remove_all(path());
        make();
        const auto asUser = [&] { return testing::DropRoot().empty() ? error() : "root stays"; };
        EXPECT_EQ(testing::InChild(asUser), message) << message;
    }
#endif
    fs::remove_all(path());
    Spit(path(), "[Koravel]\nSiteHost=Web-2.example\nSiteWebHost=" + std::string(253, 'a'));
    EXPECT_EQ(load().siteHost, "Web-2.example");
    EXPECT_EQ(load().siteWebHost, std::string(253, 'a'));
}

TEST_F(SettingsFile, ASaveChangesOnlyItsValuesAndEveryOtherByteStaysOnItsLine) {
    // What earlier versions wrote through Qt, keys in name order; then a user's file with
    // Windows line ends, other groups, comments and a line nothing can parse.
    EXPECT_TRUE(store().save(kTicked).written);
    EXPECT_EQ(Slurp(path()),
              "[Koravel]\nProxyLogin=user\nProxyPasswd=C)\nProxyPort=8080\n"
              "ProxyServer=proxy.example\nUseProxy=1\n");
    Spit(path(),
         "; mine\r\n[Other]\r\nUseProxy=keep me\r\n[Koravel] ; my proxy\r\nSiteHost=x\r\n"
         "ProxyLogin = old ; was\r\nKeep=me;trailing comment\r\n[Notes\r\ntypo here\r\n"
         "[Koravel]\r\nUseProxy=0\r\n; end\r\n[Tail]\r\nz=1");
    store().save({true, "@me", "px", "a, b", ""}, {{"Tab", "1"}});
    EXPECT_EQ(Slurp(path()),
              "; mine\r\n[Other]\r\nUseProxy=keep me\r\n[Koravel] ; my proxy\r\nSiteHost=x\r\n"
              "ProxyLogin = @@me ; was\r\nKeep=me;trailing comment\r\n[Notes\r\ntypo here\r\n"
              "[Koravel]\r\nUseProxy=1\r\nProxyPasswd=@String(r\\0)\r\nProxyPort=\r\n"
              "ProxyServer=\"a, b\"\r\nTab=1\r\n; end\r\n[Tail]\r\nz=1");
    const LoadedSettings loaded = load();
    EXPECT_EQ(loaded.settings, (ProxySettings{true, "@me", "px", "a, b", ""}));
    EXPECT_EQ(loaded.texts, (std::map<std::string, QString>{{"Keep", "me"}, {"Tab", "1"}}));
    // A clear box writes the flag alone; the rest stays for the next time. A header with
    // its comment at the very end gets its value on a line of its own.
    Spit(path(), "[Koravel] ; my proxy");
    store().save({false, "other", "other", "other", "1"});
    EXPECT_EQ(Slurp(path()), "[Koravel] ; my proxy\nUseProxy=0");
    EXPECT_THROW(store().save(kTicked, {{"ProxyPort", "1"}}), std::invalid_argument);
}

TEST_F(SettingsFile, ReadsAndWritesWhatQtReadsAndWrites) {
    // Scrambled bytes with a zero, control and Cyrillic characters; texts Qt quotes or escapes.
    const ProxySettings odd{true, "\xC8\xE2\xE0\xED \"q\";x", std::string("\x00%Jo\x94\xB9\xDE", 7),
                            " lead", "@8\\0"};
    const QString scrambled = QString::fromUtf8("\x02\x1BQйf`Ы");
    {
        QSettings qt(QString::fromStdString(path().string()), QSettings::IniFormat);
        qt.setValue("Koravel/UseProxy", "1");
        qt.setValue("Koravel/ProxyLogin", "Иван \"q\";x");
        qt.setValue("Koravel/ProxyPasswd", scrambled);
        qt.setValue("Koravel/ProxyServer", " lead");
        qt.setValue("Koravel/ProxyPort", "@8\\0");
    }
    EXPECT_EQ(load().settings, odd);
    // A file of its own, in folders the save makes: Qt keeps what it read of the first one.
    const fs::path ours = m_dir.filePath("a/b/ours.conf").toStdString();
    SettingsStore(ours).save(odd);
    QSettings qt(QString::fromStdString(ours.string()), QSettings::IniFormat);
    EXPECT_EQ(qt.value("Koravel/ProxyPasswd").toString(), scrambled);
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
TEST_F(SettingsFile, ASaveLeavesTheFileToItsOwnerAndALinkStaysALink) {
    const auto mode = [](const fs::path& file) { return fs::status(file).permissions(); };
    const mode_t umask = ::umask(0);
    store().save(kTicked);
    ::umask(umask);
    EXPECT_EQ(mode(path()), fs::perms::owner_read | fs::perms::owner_write);
    // A file made by hand: the owner's bits stay, the others' go.
    fs::permissions(path(), fs::perms::owner_exec | fs::perms::group_read | fs::perms::others_read,
                    fs::perm_options::add);
    store().save({true, "new", "", "", ""});
    EXPECT_EQ(mode(path()), fs::perms::owner_all);
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
    EXPECT_FALSE(store().save({true, "new", "", "", ""}).written);
    EXPECT_TRUE(fs::equivalent(path(), m_dir.filePath("same").toStdString()));
    // A dotfile kept elsewhere through a link.
    const fs::path target = m_dir.filePath("dotfiles-kelvo.conf").toStdString();
    fs::rename(path(), target);
    fs::create_symlink(target, path());
    store().save(kTicked);
    EXPECT_TRUE(fs::is_symlink(path()));
    EXPECT_EQ(load().settings, kTicked);
    EXPECT_EQ(std::distance(fs::directory_iterator(m_dir.path().toStdString()), {}), 3);
}

// Another program of the same maker writes kelvo.conf through Qt's settings, which hold
// kelvo.conf.lock: a save holds it too, so neither loses a line.
TEST_F(SettingsFile, ASaveHoldsTheLockQtHoldsAndWaitsForItBoundedly) {
    QLockFile held(QString::fromStdString(path().string() + ".lock"));
    ASSERT_TRUE(held.lock());
    EXPECT_THAT([&] { SettingsStore(path(), std::chrono::milliseconds(100)).save(kTicked); },
                ::testing::ThrowsMessage<common::Error>(
                    "Failed to set data for 'UseProxy' (" + path().string() +
                    ": another program holds the settings (" + path().string() + ".lock))"));
    EXPECT_FALSE(fs::exists(path()));
    held.unlock();

    // 400 values written one by one through Qt while the saves run.
    const pid_t writer = ::fork();
    if (writer == 0) {
        ::alarm(60);
        QSettings qt(QString::fromStdString(path().string()), QSettings::IniFormat);
        for (int line = 0; line < 400; ++line) {
            qt.setValue("Other/line" + QString::number(line), line);
            qt.sync();
            // Paced, so that the saves overlap the writes however fast either side runs.
            ::usleep(5'000);
        }
        ::_exit(qt.status() == QSettings::NoError ? 0 : 1);
    }
    int saves = 0, status = 0;
    for (; ::waitpid(writer, &status, WNOHANG) == 0; ++saves) {
        store().save({true, "login" + std::to_string(saves), "", "p", "1"});
        ::usleep(20'000);
    }
    ASSERT_EQ(status, 0);
    const std::string text = Slurp(path());
    for (int line = 0; line < 400; ++line)
        EXPECT_TRUE(text.find("\nline" + std::to_string(line) + "=" + std::to_string(line) +
                              "\n") != std::string::npos)
            << line;
    EXPECT_EQ(load().settings,
              (ProxySettings{true, "login" + std::to_string(saves - 1), "", "p", "1"}));
    EXPECT_GT(saves, 1);
}

TEST(NativeSettings, LiveInKelvoConfUnderTheConfigHome) {
    const auto restore = qScopeGuard([home = qgetenv("HOME"), xdg = qgetenv("XDG_CONFIG_HOME")] {
        qputenv("HOME", home);
        xdg.isNull() ? qunsetenv("XDG_CONFIG_HOME") : qputenv("XDG_CONFIG_HOME", xdg);
    });
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
