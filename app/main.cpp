#include <QApplication>

#include "app/command_line.h"
#include "app/form1.h"
#include "site/roster_request.h"

int main(int argc, char* argv[]) {
    // Before QApplication, which may start threads of its own.
    const koravel::site::CurlGlobal curl;
    if (const auto status = koravel::app::RunCommandLine(argc, argv)) return *status;
    QApplication application(argc, argv);
    koravel::app::TForm1 Form1;
    Form1.show();
    return QApplication::exec();
}
