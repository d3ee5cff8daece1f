#pragma once

// The real program against the fake site, in a folder of its own with data.ini and
// settings that reach the site as the proxy.

#include <gtest/gtest.h>

#include <QLocale>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "tools/fake_site/fake_site.h"
#include "tools/fake_site/roster_page.h"
#include "tools/testing/files.h"

namespace koravel::testing {

// Team names as the site sends them, in Windows-1251.
inline const std::string kZarya = "\xC7\xE0\xF0\xFF";                // Заря
inline const std::string kTorpedo = "\xD2\xEE\xF0\xEF\xE5\xE4\xEE";  // Торпедо

struct Outcome {
    int status = -1;
    std::string out;
    std::string err;
};

class CommandLine : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        std::filesystem::create_directory(m_folder / "config");
        Spit(m_folder / "data.ini",
             "[Первая]\nteam1=101\nteam2=103\nteam3=104\n"
             "[Вторая]\nteam1=101\nteam2=105\nteam3=104\n"
             "[Третья]\nteam1=101\nteam2=102\nteam3=104\n[Пустая]\n[a\u2028b\u2029]\n");
        settings({{"UseProxy", "1"}, {"ProxyServer", "127.0.0.1"}, {"ProxyPort", port()}});
        m_site.servePages([](std::int32_t id) {
            const std::map<std::int32_t, tools::PageSpec> teams = {
                {101, {kZarya, "10", "12", {{"19", "1.5"}, {"17", "1"}, {"19", "0.75"}}}},
                {103, {kTorpedo, "", " 0 ", {}}},
                {104, {"Bra\tvo", "2", "20", {{"18", "2.25"}, {"19", "2.25"}}}},
                {105, {"Bad", "5", "3", {{"19", "1"}, {"abc", "1"}}}},
                {106, {"\x1b]0;pwned\x07\xC0\r\n\x1b[2J\x9b", "1", "1", {{"19\x1b[A", "1"}}}}};
            return tools::MakeRosterPage(teams.at(id));
        });
        // From the proxy, which the fake site stands for here.
        m_site.overrideTeam(102, tools::Answer::Http("407 Proxy Authentication Required", ""));
    }

    std::string port() const { return std::to_string(m_site.port()); }
    // The user's own settings: the file under XDG_CONFIG_HOME, or the registry.
    void settings(const std::map<std::string, std::string>& values) const {
#ifdef _WIN32
        QSettings registry("HKEY_CURRENT_USER\\Software\\kelvo\\Koravel", QSettings::NativeFormat);
        registry.clear();
        for (const auto& [name, value] : values)
            registry.setValue(QString::fromStdString(name), QString::fromStdString(value));
#else
        std::string text = "[Koravel]\n";
        for (const auto& [name, value] : values) text += name + "=" + value + "\n";
        Spit(m_folder / "config/kelvo.conf", text);
#endif
    }

    Outcome run(const std::vector<std::string>& args, const char* locale = "C.UTF-8") const {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_CONFIG_HOME", QString::fromStdString((m_folder / "config").string()));
        env.insert("LC_ALL", locale);
        env.insert("QT_QPA_PLATFORM", "no-such-platform");  // a window would abort
        QStringList arguments;
        for (const std::string& arg : args) arguments << QString::fromStdString(arg);
        QProcess koravel;
        koravel.setProcessEnvironment(env);
        koravel.setWorkingDirectory(m_dir.path());
        koravel.start(qEnvironmentVariable("KORAVEL_BINARY", KORAVEL_BINARY), arguments);
        EXPECT_TRUE(koravel.waitForFinished(60000)) << args.front();
        return {koravel.exitStatus() == QProcess::NormalExit ? koravel.exitCode() : -1,
                koravel.readAllStandardOutput().toStdString(),
                koravel.readAllStandardError().toStdString()};
    }
    std::string saved() const { return Slurp(m_folder / "save.txt"); }

    QTemporaryDir m_dir;
    std::filesystem::path m_folder = std::filesystem::path(m_dir.path().toStdU16String());
    tools::FakeSite m_site;
};

// The decimal separator the program writes: C.UTF-8's here, the system's on Windows.
inline std::string Point() {
#ifdef _WIN32
    return QLocale::system().decimalPoint().toStdString();
#else
    return ".";
#endif
}

// Lines as the program writes them to a pipe on this system: in the locale's code page,
// or on Windows UTF-8 with CR LF for every command.
inline std::string Text(const std::string& utf8) {
#ifdef _WIN32
    return QString::fromStdString(utf8).replace("\n", "\r\n").toStdString();
#else
    return utf8;
#endif
}

}  // namespace koravel::testing
