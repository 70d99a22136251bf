#include "platform/linux/linuxplatformcapabilities.h"

namespace korvane {

bool LinuxPlatformCapabilities::supportsGlass() const {
    return false;
}

} // namespace korvane
