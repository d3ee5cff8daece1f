#pragma once

// What the probes share: argument parsing, their own peak memory, a deadline, the scan
// without a window, and (where the probe links the window) the window driven to the end
// of a scan. A probe is a process of its own, so its peak memory is its own.

#include <unistd.h>

#include <charconv>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <numeric>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "site/transfer.h"
#include "survey/scan.h"

#ifdef QT_WIDGETS_LIB
#include <QApplication>
#include <QComboBox>
#include <QEventLoop>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include "app/main_window.h"
#endif

namespace koravel::bench {

inline bool ParseNumber(const char* text, int& value) {
    const char* end = text + std::strlen(text);
    const auto [at, error] = std::from_chars(text, end, value);
    return error == std::errc() && at == end && value >= 0;
}

// VmHWM is this process's own peak; ru_maxrss also counts the memory of the process that
// spawned it.
inline long PeakKiB() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmHWM:", 0) == 0) return std::stol(line.substr(6));
    return -1;
}

// A probe stuck for good (a box nobody answers, a scan that never ends) fails after
// `limit` instead of holding up the whole bench.
inline void FailAfter(std::chrono::seconds limit) {
    std::thread([limit] {
        std::this_thread::sleep_for(limit);
        constexpr char kMessage[] = "probe: out of time\n";
        [[maybe_unused]] const auto written = ::write(STDERR_FILENO, kMessage, sizeof kMessage - 1);
        ::_exit(1);
    }).detach();
}

// The scan without a window, straight to the site, as the command line runs it; returns
// how many requests failed.
inline std::size_t HeadlessScan(const std::vector<std::int32_t>& ids,
                                const site::SiteAddress& address, survey::TeamList& list) {
    survey::Scan scan(ids, ",", [&](std::int32_t id) {
        site::Reply reply = site::FetchRoster(id, {}, address);
        if (reply.ok()) return survey::Fetched{std::move(reply.body), {}};
        return survey::Fetched{std::nullopt, reply.reason()};
    });
    std::size_t failed = 0;
    list.clear();
    while (std::optional<survey::TeamOutcome> outcome = scan.next()) {
        failed += outcome->failure ? 1 : 0;
        list.push_back(std::move(outcome->row));
    }
    return failed;
}

#ifdef QT_WIDGETS_LIB

// A data.ini of one division of these teams, in `work`.
inline void WriteDivision(const std::filesystem::path& work,
                          const std::vector<std::int32_t>& teamIds) {
    std::ofstream ini(work / "data.ini", std::ios::binary);
    ini << "[Bench]\r\n";
    for (std::size_t t = 0; t < teamIds.size(); ++t)
        ini << "team" << t + 1 << '=' << teamIds[t] << "\r\n";
}

// A private settings file that does not exist yet: no proxy, requests go straight to
// the site.
inline app::SessionOptions WindowOptions(const std::filesystem::path& work, int port) {
    return {work / "kelvo.conf", work, {}, site::SiteAddress{"127.0.0.1", port}};
}

inline void Spin(int milliseconds) {
    QEventLoop loop;
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    loop.exec();
}

// Picks the division and clicks "Клац"; returns when the scan is over.
inline void ScanToEnd(app::MainWindow& window) {
    window.findChild<QComboBox*>(QStringLiteral("divisionBox"))->setCurrentIndex(0);
    window.findChild<QPushButton*>(QStringLiteral("scanButton"))->click();
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (!window.busy()) loop.quit();
    });
    poll.start(1);
    loop.exec();
}

// The box that is open, if any: the error box is modal, the failure box is a plain top
// level that the window's input blocker makes modal in effect.
inline QWidget* OpenBox() {
    if (QWidget* modal = QApplication::activeModalWidget()) return modal;
    for (QWidget* top : QApplication::topLevelWidgets())
        if (top->isVisible() && qobject_cast<QMessageBox*>(top) != nullptr) return top;
    return nullptr;
}

// Answers the box that is open, as a user would with OK; true when there was one.
inline bool AnswerBox() {
    QWidget* modal = OpenBox();
    if (modal == nullptr) return false;
    auto* box = qobject_cast<QMessageBox*>(modal);
    if (QAbstractButton* ok = box ? box->button(QMessageBox::Ok) : nullptr)
        ok->click();
    else
        modal->close();
    return true;
}

// A probe's window: a division of `teams` teams written to `work`, the window over it
// against the site on 127.0.0.1:`port`, shown, and every box that opens answered with OK
// and counted, since a failed request would wait for its box.
class WindowRun {
public:
    WindowRun(int& argc, char** argv, const std::filesystem::path& work, int port, int teams,
              std::chrono::seconds limit)
        : ids(Division(work, teams, limit)), app(argc, argv), window(WindowOptions(work, port)) {
        window.show();
        QObject::connect(&answerer_, &QTimer::timeout, [this] { boxes += AnswerBox(); });
        answerer_.start(50);
    }

    const std::vector<std::int32_t> ids;
    const site::CurlGlobal curl;
    QApplication app;
    app::MainWindow window;
    int boxes = 0;

private:
    static std::vector<std::int32_t> Division(const std::filesystem::path& work, int teams,
                                              std::chrono::seconds limit) {
        FailAfter(limit);
        std::vector<std::int32_t> teamIds(static_cast<std::size_t>(teams));
        std::iota(teamIds.begin(), teamIds.end(), 10001);
        WriteDivision(work, teamIds);
        return teamIds;
    }

    QTimer answerer_;
};

#endif

}  // namespace koravel::bench
