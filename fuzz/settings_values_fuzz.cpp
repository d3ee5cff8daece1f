#include <QString>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "common/code_page.h"
#include "common/number_text.h"
#include "config/scrambler.h"

using namespace koravel;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    // "UseProxy" as typed into the file.
    const std::int32_t flag = common::ParseIntegerOr(text, 0);
    if (flag != common::TryParseInteger(text).value_or(0)) std::abort();

    const std::string scrambled = config::Scramble(text);
    if (scrambled.size() != text.size() || config::Unscramble(scrambled) != text) std::abort();

    // What the store hands to Qt must come back byte for byte.
    const QString crossed = QString::fromUtf8(common::Cp1251ToUtf8(scrambled));
    if (common::Utf8ToCp1251(crossed.toUtf8().toStdString()) != scrambled) std::abort();
    return 0;
}
