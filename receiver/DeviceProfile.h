#pragma once

#include <QString>
#include <string>
#include <utility>
#include <vector>

class QSettings;

#include "audio/WaveDevice.h"

namespace velto {

// A value of the profile that will not do, and what is used in its place,
// for telling the user: "[Station] Name=dcf99 → jjy40". Several keys may
// go together ("Name=wwvb, Rate=96000 → jjy40, 96000").
struct ProfileFallback {
    std::string section;
    std::vector<std::pair<std::string, std::string>> given;  // key, value as written
    std::vector<std::string> used;
};
using ProfileFallbacks = std::vector<ProfileFallback>;

std::string FallbackLine(const ProfileFallback& fallback);
// The value of `key` ("Section/Key") as the profile's file writes it.
std::string ProfileText(const QSettings& settings, const QString& key);
// A yes-or-no key: true or false, 1 or 0, yes or no, on or off, in any case.
// Anything else reads as `absent`, the key's default, and goes into
// *fallbacks: a key that turns on a clock feed must not be taken as on
// because it is not empty.
bool ProfileFlag(const QSettings& settings, const QString& key, bool absent,
                 ProfileFallbacks* fallbacks);

}  // namespace velto

// The profile section "SoundCard" ("DeviceId", "Name") as both front ends
// read it: the window and the console open the same stored device.

// Returns text without its trailing space characters (0x20 only).
QString TrimTrailingSpaces(const QString& text);

// The stored choice: "DeviceId" (-1 when none, or when it is not a number,
// which goes into *fallbacks) and "Name" without its trailing spaces.
struct StoredDevice {
    int id = -1;
    QString name;
};
StoredDevice LoadStoredDevice(velto::ProfileFallbacks* fallbacks = nullptr);
// False when the profile could not be written (see WriteProfile).
bool SaveStoredDevice(const StoredDevice& device);

// Writes the profile's changes to its file now. False when the file cannot
// be written (a home or profile that is read-only or another user's): the
// values are then lost at the latest when the program ends, and the user
// must be told.
bool WriteProfile(QSettings& settings);
// The profile's file, for telling the user which one.
QString ProfilePath();

// The capture device Start opens: the stored "DeviceId" while that device
// still exists under the stored "Name", else the system's default.
int StoredCaptureDevice(velto::ProfileFallbacks* fallbacks = nullptr);

// The spec every open starts from: the stored name, the default device, 96000 Hz, 16 bits.
velto::DeviceSpec ReadDeviceSpec();
