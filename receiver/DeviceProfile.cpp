#include "receiver/DeviceProfile.h"

#include <QSettings>
#include <QStringList>

#include "audio/SimulatedWaveIn.h"
#include "audio/WaveService.h"

namespace {

const QString kDeviceIdKey = QStringLiteral("SoundCard/DeviceId");
const QString kNameKey = QStringLiteral("SoundCard/Name");

// The stored name as the device goes by it now.
QString StoredName(const QSettings& settings) {
    return QString::fromStdString(
        velto::PresentDeviceName(settings.value(kNameKey, QString()).toString().toStdString()));
}

}  // namespace

namespace velto {

std::string FallbackLine(const ProfileFallback& fallback) {
    std::string given;
    for (const auto& [key, value] : fallback.given) {
        given += (given.empty() ? "" : ", ") + key + "=" + value;
    }
    std::string used;
    for (const std::string& value : fallback.used) {
        used += (used.empty() ? "" : ", ") + value;
    }
    return "[" + fallback.section + "] " + given + " → " + used;
}

std::string ProfileText(const QSettings& settings, const QString& key) {
    const QVariant value = settings.value(key);
    return (value.typeId() == QMetaType::QStringList ? value.toStringList().join(QLatin1Char(','))
                                                     : value.toString())
        .toStdString();
}

bool ProfileFlag(const QSettings& settings, const QString& key, bool absent,
                 ProfileFallbacks* fallbacks) {
    if (!settings.contains(key)) {
        return absent;
    }
    const QString value = QString::fromStdString(ProfileText(settings, key)).trimmed().toLower();
    for (const char* yes : {"true", "1", "yes", "on"}) {
        if (value == QLatin1String(yes)) return true;
    }
    for (const char* no : {"false", "0", "no", "off"}) {
        if (value == QLatin1String(no)) return false;
    }
    if (fallbacks != nullptr) {
        const qsizetype slash = key.indexOf(QLatin1Char('/'));
        fallbacks->push_back({key.left(slash).toStdString(),
                              {{key.mid(slash + 1).toStdString(), ProfileText(settings, key)}},
                              {absent ? "true" : "false"}});
    }
    return absent;
}

}  // namespace velto

QString TrimTrailingSpaces(const QString& text) {
    qsizetype end = text.size();
    while (end > 0 && text[end - 1] == QLatin1Char(' ')) {
        --end;
    }
    return text.left(end);
}

StoredDevice LoadStoredDevice(velto::ProfileFallbacks* fallbacks) {
    const QSettings settings;
    bool ok = false;
    const int id = settings.value(kDeviceIdKey, -1).toInt(&ok);
    if (!ok && fallbacks != nullptr) {
        fallbacks->push_back(
            {"SoundCard", {{"DeviceId", velto::ProfileText(settings, kDeviceIdKey)}}, {"-1"}});
    }
    return {ok ? id : -1, TrimTrailingSpaces(StoredName(settings))};
}

bool SaveStoredDevice(const StoredDevice& device) {
    QSettings settings;
    settings.setValue(kDeviceIdKey, device.id);
    settings.setValue(kNameKey, TrimTrailingSpaces(device.name));
    return WriteProfile(settings);
}

bool WriteProfile(QSettings& settings) {
    settings.sync();
    return settings.status() == QSettings::NoError;
}

QString ProfilePath() { return QSettings().fileName(); }

int StoredCaptureDevice(velto::ProfileFallbacks* fallbacks) {
    const StoredDevice stored = LoadStoredDevice(fallbacks);
    if (stored.id < 0 || stored.id >= velto::WaveService().InGetNumDevs()) {
        return velto::WAVE_MAPPER;
    }
    const QString actual =
        TrimTrailingSpaces(QString::fromStdString(velto::WaveService().InGetDevName(stored.id)));
    return actual == stored.name ? stored.id : velto::WAVE_MAPPER;
}

velto::DeviceSpec ReadDeviceSpec() {
    const QSettings settings;
    velto::DeviceSpec spec;
    spec.name = StoredName(settings).toStdString();
    spec.deviceId = velto::WAVE_MAPPER;
    return spec;
}
