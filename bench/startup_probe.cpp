// Opens the window as the program does and quits after its first paint.
// usage: koravel_startup_probe SETTINGS WORKDIR [SPAWNED_NS]
// Given the steady-clock time at which the caller spawned it, it prints how long each
// stage took, to tell what dominates start-up, and its own peak memory.
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

#include <QApplication>
#include <QEvent>
#include <QTimer>

#include "app/main_window.h"
#include "site/transfer.h"

#include "bench/probe_support.h"

namespace {

using koravel::bench::PeakKiB;

using Clock = std::chrono::steady_clock;

class FirstPaint final : public QObject {
public:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint && !m_seen) {
            m_seen = true;
            painted = Clock::now();
            QTimer::singleShot(0, qApp, &QCoreApplication::quit);
        }
        return QObject::eventFilter(watched, event);
    }
    Clock::time_point painted;

private:
    bool m_seen = false;
};

// Whole microseconds: QApplication has set LC_NUMERIC by now, so a printed fraction
// would carry the user's separator.
long long Us(Clock::time_point a, Clock::time_point b) {
    return std::chrono::duration_cast<std::chrono::microseconds>(b - a).count();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) return 2;
    const auto start = Clock::now();
    const koravel::site::CurlGlobal curl;
    QApplication app(argc, argv);
    const auto appReady = Clock::now();

    koravel::app::SessionOptions options;
    options.settingsFile = argv[1];
    options.workingDirectory = argv[2];
    koravel::app::MainWindow form(options);
    const auto formReady = Clock::now();

    FirstPaint probe;
    form.installEventFilter(&probe);
    form.show();
    QApplication::exec();

    if (argc > 3) {
        std::int64_t spawnedNs = 0;
        const char* text = argv[3];
        std::from_chars(text, text + std::strlen(text), spawnedNs);
        const Clock::time_point spawned{std::chrono::nanoseconds(spawnedNs)};
        std::printf(
            "loading=%lld application=%lld window=%lld paint=%lld total=%lld peak_kib=%ld\n",
            Us(spawned, start), Us(start, appReady), Us(appReady, formReady),
            Us(formReady, probe.painted), Us(spawned, probe.painted), PeakKiB());
    }
    return 0;
}
