#include "platform/qt_settings_store.h"

#include <QByteArray>
#include <QDir>
#include <QSettings>
#include <QStandardPaths>

#include "app/app_state.h"

namespace brevik::platform {

namespace {

std::optional<QVariant> read(app::SettingsScope scope, const std::string& name) {
    QSettings s(scope == app::SettingsScope::System ? QSettings::SystemScope : QSettings::UserScope,
                app::kSettingsOrganisation, app::kProductName);
    s.beginGroup(app::kSettingsGroup);
    const QVariant v = s.value(QString::fromStdString(name));
    if (!v.isValid()) return std::nullopt;
    return v;
}

template <typename Write>
bool write(Write&& apply) {
    QSettings s(QSettings::UserScope, app::kSettingsOrganisation, app::kProductName);
    s.beginGroup(app::kSettingsGroup);
    apply(s);
    s.endGroup();
    s.sync();
    return s.status() == QSettings::NoError;
}

}  // namespace

QtSettingsStore::QtSettingsStore() = default;

std::optional<std::string> QtSettingsStore::readString(app::SettingsScope scope,
                                                       const std::string& name) {
    auto v = read(scope, name);
    if (!v) return std::nullopt;
    return v->toString().toStdString();
}

std::optional<std::uint32_t> QtSettingsStore::readWord(app::SettingsScope scope,
                                                       const std::string& name) {
    auto v = read(scope, name);
    if (!v) return std::nullopt;
    bool ok = false;
    const qlonglong n = v->toLongLong(&ok);
    if (!ok) return std::nullopt;
    return static_cast<std::uint32_t>(n);
}

std::optional<std::vector<std::uint8_t>> QtSettingsStore::readBytes(app::SettingsScope scope,
                                                                    const std::string& name) {
    auto v = read(scope, name);
    if (!v) return std::nullopt;
    const QByteArray b = v->toByteArray();
    return std::vector<std::uint8_t>(b.begin(), b.end());
}

bool QtSettingsStore::writeWord(const std::string& name, std::uint32_t value) {
    // Stored signed, as the word was: -1 for a centred splitter reads back as -1.
    return write([&](QSettings& s) {
        s.setValue(QString::fromStdString(name), static_cast<qint32>(value));
    });
}

bool QtSettingsStore::writeBytes(const std::string& name, const std::vector<std::uint8_t>& value) {
    return write([&](QSettings& s) {
        s.setValue(QString::fromStdString(name),
                   QByteArray(reinterpret_cast<const char*>(value.data()),
                              static_cast<qsizetype>(value.size())));
    });
}

void QtSettingsStore::remove(const std::string& name) {
    write([&](QSettings& s) { s.remove(QString::fromStdString(name)); });
}

app::AppEnvironment desktopEnvironment(app::SettingsStore* store) {
    app::AppEnvironment env;
    env.settings = store;
    env.localDataFolder =
        QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation).toStdString();
    env.documentsFolder =
        QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation).toStdString();
    if (!env.documentsFolder.empty() && !QDir(QString::fromStdString(env.documentsFolder)).exists())
        env.documentsFolder = QDir::homePath().toStdString();
    return env;
}

}  // namespace brevik::platform
