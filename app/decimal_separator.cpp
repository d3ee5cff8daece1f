#include "app/decimal_separator.h"

#include <QLocale>
#include <QString>

#include "common/code_page.h"

namespace koravel::app {

std::string LocaleDecimalSeparator() {
    std::string separator =
        common::Utf8ToCp1251(QLocale::system().decimalPoint().toUtf8().toStdString());
    if (separator.size() > 2) separator.clear();
    return separator;
}

}  // namespace koravel::app
