#include "app/decimal_separator.h"

#include <QLocale>
#include <QString>

#include "app/qt_text.h"

namespace koravel::app {

std::string LocaleDecimalSeparator() {
    std::string separator = ToCp1251(QLocale::system().decimalPoint());
    if (separator.size() > 2) separator.clear();
    return separator;
}

}  // namespace koravel::app
