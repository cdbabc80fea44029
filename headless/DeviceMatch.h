#pragma once

#include <string>
#include <vector>

// The capture device that --device NAME means, among the names
// `velto --list-devices` prints: the one of exactly that name, else the one
// whose name contains it (such as "hw:1,0"). Several that contain it are
// candidates, and none is chosen. A device's former name means it as well.
struct DeviceMatch {
    int id = -1;
    std::vector<std::string> candidates;

    static DeviceMatch Find(const std::vector<std::string>& names, const std::string& wanted);
    // Why nothing was chosen, in one sentence.
    std::string Problem(const std::string& wanted) const;
};
