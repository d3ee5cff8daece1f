#include <QSettings>
#include <QVariant>

#include <memory>

#include "common/code_page.h"
#include "config/settings_store.h"

namespace koravel::config {

namespace {

// The registry key HKEY_CURRENT_USER\Software\kelvo\Koravel, through Qt: REG_SZ texts,
// REG_DWORD and REG_QWORD integers as the registry keeps them.
class Registry final : public SettingsStore::Place {
public:
    std::map<std::string, StoredValue> read() const override {
        const auto settings = open();
        if (settings->status() != QSettings::NoError)
            throw common::Error("Cannot read the settings in " + where());
        std::map<std::string, StoredValue> values;
        for (const QString& name : settings->childKeys()) {
            const QVariant value = settings->value(name);
            switch (value.typeId()) {
                case QMetaType::QString:
                    values[name.toStdString()] = {StoredValue::Kind::Text, value.toString(), 0};
                    break;
                case QMetaType::Int:
                case QMetaType::UInt:
                case QMetaType::LongLong:
                case QMetaType::ULongLong:
                    values[name.toStdString()] = {
                        StoredValue::Kind::Integer, {}, value.toLongLong()};
                    break;
                default:
                    values[name.toStdString()] = {StoredValue::Kind::Other, {}, 0};
            }
        }
        return values;
    }

    // One value at a time, as the registry takes them: a failure names its value.
    std::string write(const std::vector<std::pair<std::string, QString>>& texts) const override {
        const auto settings = open();
        for (const auto& [name, text] : texts) {
            settings->setValue(QString::fromStdString(name), text);
            settings->sync();
            if (settings->status() != QSettings::NoError)
                throw common::Error(common::FormatMessage("Failed to set data for '%s'", name));
        }
        return {};
    }

    std::string where() const override { return "HKEY_CURRENT_USER\\Software\\kelvo\\Koravel"; }

private:
    // By its path: an organization without an application would put the group under
    // Software\kelvo\OrganizationDefaults, and fall back to the machine-wide keys.
    static std::unique_ptr<QSettings> open() {
        return std::make_unique<QSettings>(
            QStringLiteral("HKEY_CURRENT_USER\\Software\\kelvo\\Koravel"), QSettings::NativeFormat);
    }
};

}  // namespace

SettingsStore SettingsStore::Native() { return SettingsStore(std::make_shared<const Registry>()); }

}  // namespace koravel::config
