// Any bytes as a settings file, and any text set into it: the text reads back as it
// was set, and every other value of the file reads as before.
#include <QString>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "common/code_page.h"
#include "config/ini_document.h"

using koravel::config::IniDocument;
using koravel::config::StoredValue;

namespace {

bool Same(const std::optional<StoredValue>& a, const std::optional<StoredValue>& b) {
    if (a.has_value() != b.has_value()) return false;
    return !a || (a->kind == b->kind && a->text == b->text && a->number == b->number);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    // The first line is the text to set, in Windows-1251 as a password may be.
    const std::size_t lf = input.find('\n');
    if (lf == std::string_view::npos) return 0;
    const QString text = QString::fromStdString(koravel::common::Cp1251ToUtf8(input.substr(0, lf)));
    const std::string_view bytes = input.substr(lf + 1);
    IniDocument file(bytes);
    if (file.bytes() != bytes) std::abort();
    const char* others[][2] = {{"Koravel", "UseProxy"},
                               {"Koravel", "SiteHost"},
                               {"Other", "ProxyLogin"},
                               {"", "ProxyLogin"}};
    std::optional<StoredValue> before[4];
    for (int k = 0; k < 4; ++k) before[k] = file.value(others[k][0], others[k][1]);
    file.setText("Koravel", "ProxyLogin", text);
    const auto after = file.value("Koravel", "ProxyLogin");
    if (!after || after->kind != StoredValue::Kind::Text || after->text != text) std::abort();
    for (int k = 0; k < 4; ++k)
        if (!Same(before[k], file.value(others[k][0], others[k][1]))) std::abort();
    return 0;
}
