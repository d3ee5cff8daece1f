#include <QApplication>

#include "app/command_line.h"
#include "app/main_window.h"
#include "app/menu_start.h"
#include "site/transfer.h"

int main(int argc, char* argv[]) {
    // Before QApplication, which may start threads of its own.
    const koravel::site::CurlGlobal curl;
    if (const auto status = koravel::app::RunCommandLine(argc, argv)) return *status;
    QApplication application(argc, argv);
    // Past RunCommandLine, an argument can only be --menu.
    if (argc > 1) koravel::app::EnterMenuFolder();
    koravel::app::MainWindow window;
    window.show();
    return QApplication::exec();
}
