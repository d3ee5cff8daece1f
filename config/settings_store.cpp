#include "config/settings_store.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QVariant>

#include <memory>

#include "common/code_page.h"
#include "common/error.h"
#include "common/number_text.h"
#include "config/scrambler.h"

namespace koravel::config {

namespace {

std::unique_ptr<QSettings> Open(const QString& iniFile) {
    auto settings = iniFile.isEmpty()
                        ? std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                                      QStringLiteral("kelvo"))
                        : std::make_unique<QSettings>(iniFile, QSettings::IniFormat);
    settings->beginGroup(QStringLiteral("Koravel"));
    return settings;
}

// Texts cross into Qt as Windows-1251 bytes; the code page maps all 256 of them, so
// scrambled bytes come back unchanged.
QString ToQString(const std::string& cp1251) {
    return QString::fromUtf8(common::Cp1251ToUtf8(cp1251));
}

std::string FromQString(const QString& text) {
    return common::Utf8ToCp1251(text.toUtf8().toStdString());
}

[[noreturn]] void ThrowInvalidType(const char* name) {
    throw common::Error(common::FormatMessage("Invalid data type for '%s'", name));
}

// A missing value reads as empty text; anything but plain text (a list, a byte array, a
// typed variant) is of the wrong kind.
std::string ReadText(const QSettings& settings, const char* name) {
    const QVariant value = settings.value(QLatin1String(name));
    if (!value.isValid()) return {};
    if (value.typeId() != QMetaType::QString) ThrowInvalidType(name);
    return FromQString(value.toString());
}

// Text as an integer with the default 0; an integer value (a registry DWORD) as it is.
bool ReadUseProxy(const QSettings& settings) {
    const QVariant value = settings.value(QStringLiteral("UseProxy"));
    if (!value.isValid()) return false;
    switch (value.typeId()) {
        case QMetaType::QString:
            return common::StrToIntDef(FromQString(value.toString()), 0) != 0;
        case QMetaType::Int:
        case QMetaType::UInt:
        case QMetaType::LongLong:
        case QMetaType::ULongLong:
            return value.toLongLong() != 0;
        default:
            ThrowInvalidType("UseProxy");
    }
}

std::optional<std::string> ReadHost(const QString& iniFile, const QString& name) {
    const QVariant value = Open(iniFile)->value(name);
    if (value.typeId() != QMetaType::QString) return std::nullopt;
    std::string host = FromQString(value.toString());
    if (host.empty()) return std::nullopt;
    return host;
}

bool IsFileBacked([[maybe_unused]] const QSettings& settings) {
#ifdef Q_OS_WIN
    return settings.format() != QSettings::NativeFormat;
#else
    return true;
#endif
}

bool KeepPrivate(const QString& file) {
    return QFile::setPermissions(file, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
}

}  // namespace

SettingsStore::SettingsStore() = default;

SettingsStore::SettingsStore(const QString& iniFile) : m_iniFile(iniFile) {}

std::optional<common::ProxySettings> SettingsStore::load(common::ProxySettings* partial) const {
    const auto store = Open(m_iniFile);
    if (store->status() == QSettings::FormatError || store->childKeys().isEmpty()) {
        return std::nullopt;
    }
    common::ProxySettings loaded;
    try {
        loaded.UseProxy = ReadUseProxy(*store);
        loaded.ProxyLogin = ReadText(*store, "ProxyLogin");
        loaded.ProxyPasswd =
            Decrypt(ReadText(*store, "ProxyPasswd"), StartKey, Multiplier, Increment);
        loaded.ProxyServer = ReadText(*store, "ProxyServer");
        loaded.ProxyPort = ReadText(*store, "ProxyPort");
    } catch (const common::Error&) {
        if (partial != nullptr) *partial = loaded;
        throw;
    }
    return loaded;
}

void SettingsStore::save(const common::ProxySettings& settings) const {
    const auto store = Open(m_iniFile);
    const bool fileBacked = IsFileBacked(*store);
    const QString file = store->fileName();
    if (fileBacked) {
        if (!QDir().mkpath(QFileInfo(file).absolutePath())) {
            throw common::Error(common::FormatMessage("Failed to create key %s", "Koravel"));
        }
        // Qt's rewrite keeps the mode of the file it replaces, so making the file private
        // first keeps the password from ever landing in a file others may read.
        if (!QFileInfo::exists(file)) QFile(file).open(QIODevice::WriteOnly);
        KeepPrivate(file);
    }

    if (settings.UseProxy) {
        store->setValue(QStringLiteral("UseProxy"), QStringLiteral("1"));
        store->setValue(QStringLiteral("ProxyLogin"), ToQString(settings.ProxyLogin));
        store->setValue(QStringLiteral("ProxyPasswd"),
                        ToQString(Encrypt(settings.ProxyPasswd, StartKey, Multiplier, Increment)));
        store->setValue(QStringLiteral("ProxyServer"), ToQString(settings.ProxyServer));
        store->setValue(QStringLiteral("ProxyPort"), ToQString(settings.ProxyPort));
    } else {
        store->setValue(QStringLiteral("UseProxy"), QStringLiteral("0"));
    }
    // A file that could not be parsed is rewritten with what Qt could read of it, so only
    // a write failure counts.
    store->sync();
    if (store->status() == QSettings::AccessError || (fileBacked && !KeepPrivate(file))) {
        throw common::Error(common::FormatMessage("Failed to set data for '%s'", "UseProxy"));
    }
}

std::optional<std::string> SettingsStore::siteHost() const {
    return ReadHost(m_iniFile, QStringLiteral("SiteHost"));
}

std::optional<std::string> SettingsStore::siteWebHost() const {
    return ReadHost(m_iniFile, QStringLiteral("SiteWebHost"));
}

}  // namespace koravel::config
