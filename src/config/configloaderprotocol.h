#pragma once

#include "config/appconfig.h"

namespace korvane {

// What the settings window needs of the configuration loader: read the global file and write it back.
class ConfigLoaderProtocol {
public:
    virtual ~ConfigLoaderProtocol() = default;
    virtual AppConfig loadConfig() = 0;
    virtual void writeConfig(const AppConfig& config) = 0;
};

} // namespace korvane
