// What a host may learn of the settings store beyond the registry calls. The plug-in
// never looks at what a write returns; a host that must tell whether the settings were
// saved (tessel --config) asks here.
#pragma once

#include <string>

namespace tessel::platform {

// How many writes to the store were refused since the process started; why, when not
// null, gets the reason of the last one ("" when there was none).
unsigned RefusedStoreWrites(std::string *why = nullptr);

} // namespace tessel::platform
