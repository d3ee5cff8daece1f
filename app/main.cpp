#include <QApplication>

#include "app/command_line.h"
#include "app/main_window.h"
#include "site/transfer.h"

int main(int argc, char* argv[]) {
    // Before QApplication, which may start threads of its own.
    const koravel::site::CurlGlobal curl;
    if (const auto status = koravel::app::RunCommandLine(argc, argv)) return *status;
    QApplication application(argc, argv);
    koravel::app::MainWindow window;
    window.show();
    return QApplication::exec();
}
