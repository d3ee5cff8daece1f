#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include <QByteArray>
#include <QString>

#include "common/code_page.h"

// Every conversion between the program's byte strings and Qt's text, in one place.
// Page bytes, names, report cells and proxy values are Windows-1251; messages, links and
// anything the program says itself are UTF-8.
namespace koravel::app {

inline QString FromCp1251(std::string_view bytes) {
    const std::string utf8 = common::Cp1251ToUtf8(bytes);
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

inline std::string ToCp1251(const QString& text) {
    return common::Utf8ToCp1251(text.toStdString());
}

inline QString FromUtf8(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

inline std::string ToUtf8(const QString& text) { return text.toStdString(); }

inline QString FromPath(const std::filesystem::path& path) {
    return QString::fromStdU16String(path.u16string());
}

inline QByteArray ToBytes(std::string_view bytes) {
    return {bytes.data(), static_cast<qsizetype>(bytes.size())};
}

inline std::string FromBytes(const QByteArray& bytes) { return bytes.toStdString(); }

}  // namespace koravel::app
