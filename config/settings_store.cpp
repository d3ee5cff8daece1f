#include "config/settings_store.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QVariant>

#include <memory>

#include "common/code_page.h"
#include "common/number_text.h"
#include "config/scrambler.h"

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#endif

namespace koravel::config {

namespace {

using common::ProxySettings;

constexpr char kGroup[] = "Koravel";
constexpr char kUseProxy[] = "UseProxy";
constexpr char kSiteHost[] = "SiteHost";
constexpr char kSiteWebHost[] = "SiteWebHost";

// The four text values, in the order a load reads and a save writes them.
struct TextValue {
    const char* name;
    std::string ProxySettings::*field;
};
constexpr TextValue kTextValues[] = {
    {"ProxyLogin", &ProxySettings::ProxyLogin},
    {"ProxyPasswd", &ProxySettings::ProxyPasswd},
    {"ProxyServer", &ProxySettings::ProxyServer},
    {"ProxyPort", &ProxySettings::ProxyPort},
};

bool IsPassword(const TextValue& value) { return value.field == &ProxySettings::ProxyPasswd; }

std::unique_ptr<QSettings> Open(const QString& iniFile) {
    auto settings = iniFile.isEmpty()
                        ? std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                                      QStringLiteral("kelvo"))
                        : std::make_unique<QSettings>(iniFile, QSettings::IniFormat);
    settings->beginGroup(QLatin1String(kGroup));
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

common::Error InvalidType(const char* name) {
    return common::Error(common::FormatMessage("Invalid data type for '%s'", name));
}

common::Error SetDataFailed(const char* name) {
    return common::Error(common::FormatMessage("Failed to set data for '%s'", name));
}

// A missing value reads as empty text; anything but plain text (a list, a byte array, a
// typed variant) is of the wrong kind and reads as nothing.
std::optional<std::string> ReadText(const QSettings& settings, const char* name) {
    const QVariant value = settings.value(QLatin1String(name));
    if (!value.isValid()) return std::string();
    if (value.typeId() != QMetaType::QString) return std::nullopt;
    return FromQString(value.toString());
}

// Text as an integer with the default 0; an integer value (a registry DWORD) as it is.
std::optional<bool> ReadUseProxy(const QSettings& settings) {
    const QVariant value = settings.value(QLatin1String(kUseProxy));
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
            return std::nullopt;
    }
}

std::optional<std::string> ReadHost(const QString& iniFile, const char* name) {
    const QVariant value = Open(iniFile)->value(QLatin1String(name));
    if (value.typeId() != QMetaType::QString) return std::nullopt;
    std::string host = FromQString(value.toString());
    if (host.empty()) return std::nullopt;
    return host;
}

bool IsFileBacked([[maybe_unused]] const QSettings& settings) {
#ifdef _WIN32
    return settings.format() != QSettings::NativeFormat;
#else
    return true;
#endif
}

// Qt rewrites the file through a temporary file that takes the mode of the file it
// replaces, or the default mode (readable by all) when there is none. So the file is
// created private before Qt first writes it, and an older, wider file is narrowed before
// the password goes in.
bool MakePrivateFile(const QString& file) {
#ifdef _WIN32
    QFile created(file);
    if (!created.exists() && !created.open(QIODevice::WriteOnly)) return false;
    return QFile::setPermissions(file, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
#else
    const QByteArray path = QFile::encodeName(file);
    int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, S_IRUSR | S_IWUSR);
    if (fd >= 0) return ::close(fd) == 0;
    if (errno != EEXIST) return false;
    fd = ::open(path.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return false;
    struct stat status {};
    const bool narrowed = ::fstat(fd, &status) == 0 && S_ISREG(status.st_mode) &&
                          ::fchmod(fd, S_IRUSR | S_IWUSR) == 0;
    return ::close(fd) == 0 && narrowed;
#endif
}

// One value per write, as the registry takes them: a failure names its value, and the
// values before it stay written.
void Write(QSettings& settings, const char* name, const std::string& text) {
    settings.setValue(QLatin1String(name), ToQString(text));
    settings.sync();
    if (settings.status() == QSettings::AccessError) {
        throw SetDataFailed(name);
    }
}

}  // namespace

SettingsStore::SettingsStore() = default;

SettingsStore::SettingsStore(const QString& iniFile) : m_iniFile(iniFile) {}

LoadedSettings SettingsStore::load() const {
    const auto store = Open(m_iniFile);
    // An unreadable or unparsable file counts as nothing stored.
    if (store->status() != QSettings::NoError || store->childKeys().isEmpty()) return {};
    LoadedSettings loaded;
    ProxySettings& settings = loaded.settings.emplace();
    const std::optional<bool> useProxy = ReadUseProxy(*store);
    if (!useProxy) {
        loaded.error = InvalidType(kUseProxy);
        return loaded;
    }
    settings.UseProxy = *useProxy;
    for (const TextValue& value : kTextValues) {
        std::optional<std::string> text = ReadText(*store, value.name);
        if (!text) {
            loaded.error = InvalidType(value.name);
            return loaded;
        }
        settings.*value.field =
            IsPassword(value) ? Decrypt(*text, StartKey, Multiplier, Increment) : std::move(*text);
    }
    return loaded;
}

void SettingsStore::save(const ProxySettings& settings) const {
    auto store = Open(m_iniFile);
    if (IsFileBacked(*store)) {
        const QString file = store->fileName();
        if (!QDir().mkpath(QFileInfo(file).absolutePath()) || !MakePrivateFile(file)) {
            throw common::Error(common::FormatMessage("Failed to create key %s", kGroup));
        }
        // Qt reports no write failure on a file it could not parse. Such a file loads as
        // nothing stored, so it is started afresh.
        if (store->status() == QSettings::FormatError) {
            store.reset();
            if (!QFile::resize(file, 0)) throw SetDataFailed(kUseProxy);
            store = Open(m_iniFile);
        }
    }
    Write(*store, kUseProxy, settings.UseProxy ? "1" : "0");
    if (!settings.UseProxy) return;
    for (const TextValue& value : kTextValues) {
        const std::string& text = settings.*value.field;
        Write(*store, value.name,
              IsPassword(value) ? Encrypt(text, StartKey, Multiplier, Increment) : text);
    }
}

std::optional<std::string> SettingsStore::siteHost() const {
    return ReadHost(m_iniFile, kSiteHost);
}

std::optional<std::string> SettingsStore::siteWebHost() const {
    return ReadHost(m_iniFile, kSiteWebHost);
}

}  // namespace koravel::config
