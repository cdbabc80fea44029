#pragma once

#include <QString>

class QSettings;

#include "audio/WaveDevice.h"

// The profile section "SoundCard" ("DeviceId", "Name") as both front ends
// read it: the window and the console open the same stored device.

// Returns text without its trailing space characters (0x20 only).
QString TrimTrailingSpaces(const QString& text);

// The stored choice: "DeviceId" (-1 when none, or when it is not a number)
// and "Name" without its trailing spaces.
struct StoredDevice {
    int id = -1;
    QString name;
};
StoredDevice LoadStoredDevice();
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
int StoredCaptureDevice();

// The spec every open starts from: the stored name, the default device, 96000 Hz, 16 bits.
velto::DeviceSpec ReadDeviceSpec();
