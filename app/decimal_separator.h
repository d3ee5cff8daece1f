#pragma once

#include <string>

namespace koravel::app {

// The user locale's decimal separator as Windows-1251 bytes, for reading talents and
// writing the best one. Works without a QCoreApplication. A separator that does not fit
// the two bytes the page reader allows is left empty, as an unreadable locale value is.
std::string LocaleDecimalSeparator();

}  // namespace koravel::app
