#include "headless/DeviceMatch.h"

#include "audio/SimulatedWaveIn.h"

DeviceMatch DeviceMatch::Find(const std::vector<std::string>& names, const std::string& asked) {
    const std::string wanted = velto::PresentDeviceName(asked);
    DeviceMatch match;
    std::vector<int> containing;
    for (int id = 0; id < static_cast<int>(names.size()); ++id) {
        const std::string& name = names[static_cast<std::size_t>(id)];
        if (name == wanted) {
            match.id = id;
            return match;
        }
        if (!wanted.empty() && name.find(wanted) != std::string::npos) {
            containing.push_back(id);
        }
    }
    if (containing.size() == 1) {
        match.id = containing.front();
        return match;
    }
    for (const int id : containing) {
        match.candidates.push_back(names[static_cast<std::size_t>(id)]);
    }
    return match;
}

std::string DeviceMatch::Problem(const std::string& wanted) const {
    if (candidates.empty()) {
        return "there is no capture device named \"" + wanted +
               "\", nor one whose name contains it; velto --list-devices shows their names.";
    }
    std::string list;
    for (const std::string& name : candidates) {
        list += (list.empty() ? "\"" : ", \"") + name + "\"";
    }
    return "\"" + wanted + "\" is part of the names of " + std::to_string(candidates.size()) +
           " capture devices: " + list + "; give more of the name.";
}
