#include "app/testhost.h"

#include <cstdlib>
#include <string_view>

#ifndef KORVANE_VERSION
#define KORVANE_VERSION "0.1.0"
#endif

namespace korvane {

bool isRunningTests() {
    for (const char* name :
         {"XCTestConfigurationFilePath", "XCTestSessionIdentifier", "XCTestBundlePath", "XCInjectBundleInto"}) {
        if (std::getenv(name) != nullptr) {
            return true;
        }
    }
    const char* injected = std::getenv("DYLD_INSERT_LIBRARIES");
    return injected != nullptr && std::string_view(injected).find("libXCTestBundleInject") != std::string_view::npos;
}

std::string applicationVersion() {
    const std::string_view version = KORVANE_VERSION;
    return version.empty() ? "0.1.0" : std::string(version);
}

} // namespace korvane
