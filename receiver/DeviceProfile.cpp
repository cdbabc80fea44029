#include "receiver/DeviceProfile.h"

#include <QSettings>

#include "audio/WaveService.h"

namespace {

const QString kDeviceIdKey = QStringLiteral("SoundCard/DeviceId");
const QString kNameKey = QStringLiteral("SoundCard/Name");

}  // namespace

QString TrimTrailingSpaces(const QString& text) {
    qsizetype end = text.size();
    while (end > 0 && text[end - 1] == QLatin1Char(' ')) {
        --end;
    }
    return text.left(end);
}

int StoredCaptureDevice() {
    QSettings settings;
    bool ok = false;
    const int id = settings.value(kDeviceIdKey, -1).toInt(&ok);
    const QString name = TrimTrailingSpaces(settings.value(kNameKey, QString()).toString());
    if (!ok || id < 0 || id >= velto::WaveService().InGetNumDevs()) {
        return velto::WAVE_MAPPER;
    }
    const QString actual =
        TrimTrailingSpaces(QString::fromStdString(velto::WaveService().InGetDevName(id)));
    return actual == name ? id : velto::WAVE_MAPPER;
}

velto::DeviceSpec ReadDeviceSpec() {
    const QSettings settings;
    velto::DeviceSpec spec;
    spec.name = settings.value(kNameKey, QString()).toString().toStdString();
    spec.deviceId = velto::WAVE_MAPPER;
    return spec;
}
