#pragma once

#include <string>

namespace korvane {

// Tells whether a running application is built on Electron, from what is installed beside its
// executable. Slow (it asks the desktop and the file system); callers cache the answer. Any thread.
class ElectronProbe {
public:
    virtual ~ElectronProbe() = default;

    // False when no application with that identifier is running.
    virtual bool isElectronApp(const std::string& bundleID) = 0;
};

} // namespace korvane
