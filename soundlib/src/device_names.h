// Device descriptions as BASS hands them out (DeviceDescription in output.h): pointers
// a host may keep for the life of the process, across rescans of the device list.
#pragma once

#include <string>
#include <vector>

namespace tessel::sound {

// The names of the output devices, read afresh, in the order BASS numbers them. Each
// target's device output provides it; only DeviceDescription calls it.
std::vector<std::string> ScanDeviceNames();

} // namespace tessel::sound
