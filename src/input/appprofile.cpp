#include "input/appprofile.h"

namespace korvane {

AppProfile AppProfile::terminalProfile() {
    return {InjectionStrategy::clipboard, 10, 1500, 15000, 50000};
}

AppProfile AppProfile::electronProfile() {
    return {InjectionStrategy::clipboard, 10, 1000, 8000, 200000};
}

AppProfile AppProfile::defaultProfile() {
    return {InjectionStrategy::ax, 20, 0, 5000, 50000};
}

} // namespace korvane
