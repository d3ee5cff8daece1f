// Runs a scan of TEAMS teams in the real window, offscreen, against a site on
// 127.0.0.1:PORT, then prints its peak memory: the program's whole footprint for a scan.
// usage: koravel_window_memory_probe PORT TEAMS WORKDIR
#include <sys/resource.h>

#include <charconv>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include <QApplication>
#include <QComboBox>
#include <QTimer>
#include <QWidget>

#include "app/form1.h"
#include "site/roster_request.h"

#include "bench/probe_support.h"

namespace {

using koravel::bench::ParseNumber;
using koravel::bench::PeakKiB;

}  // namespace

int main(int argc, char** argv) {
    int port = 0;
    int teams = 0;
    if (argc != 4 || !ParseNumber(argv[1], port) || !ParseNumber(argv[2], teams)) return 2;
    const std::filesystem::path work = argv[3];
    {
        std::ofstream ini(work / "data.ini", std::ios::binary);
        ini << "[Bench]\r\n";
        for (int t = 1; t <= teams; ++t) ini << "team" << t << '=' << 10000 + t << "\r\n";
    }

    const koravel::site::CurlGlobal curl;
    QApplication app(argc, argv);
    koravel::app::FormOptions options;
    options.settingsFile = QString::fromStdString((work / "kelvo.conf").string());
    options.workingDirectory = work;
    options.site = koravel::site::SiteAddress{"127.0.0.1", port};
    koravel::app::TForm1 form(options);
    form.show();

    // A failed request would wait for its message box to be answered.
    int failed = 0;
    QTimer answer;
    QObject::connect(&answer, &QTimer::timeout, [&] {
        if (QWidget* box = QApplication::activeModalWidget()) {
            ++failed;
            box->close();
        }
    });
    answer.start(50);

    form.findChild<QComboBox*>(QStringLiteral("DivCombo"))->setCurrentIndex(0);
    form.Button1Click();

    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    std::printf("rows=%zu failed=%d peak_kib=%ld maxrss_kib=%ld\n", form.teamList().size(), failed,
                PeakKiB(), usage.ru_maxrss);
    return failed == 0 && form.teamList().size() == static_cast<std::size_t>(teams) ? 0 : 1;
}
