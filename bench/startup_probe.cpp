// Opens the window as the program does and quits after its first paint. With
// --phases it prints how long each stage took, to tell what dominates start-up.
#include <chrono>
#include <cstdio>
#include <cstring>

#include <QApplication>
#include <QEvent>
#include <QTimer>

#include "app/form1.h"
#include "site/roster_request.h"

namespace {

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

double Ms(Clock::time_point a, Clock::time_point b) {
    return std::chrono::duration<double, std::milli>(b - a).count();
}

}  // namespace

int main(int argc, char** argv) {
    // argv: settings file, working directory, optionally --phases
    if (argc < 3) return 2;
    const auto start = Clock::now();
    const koravel::site::CurlGlobal curl;
    QApplication app(argc, argv);
    const auto appReady = Clock::now();

    koravel::app::FormOptions options;
    options.settingsFile = QString::fromLocal8Bit(argv[1]);
    options.workingDirectory = argv[2];
    koravel::app::TForm1 form(options);
    const auto formReady = Clock::now();

    FirstPaint probe;
    form.installEventFilter(&probe);
    form.show();
    QApplication::exec();

    if (argc > 3 && std::strcmp(argv[3], "--phases") == 0)
        std::printf("application %.1f ms, window %.1f ms, first paint %.1f ms\n",
                    Ms(start, appReady), Ms(appReady, formReady), Ms(formReady, probe.painted));
    return 0;
}
