// Every test executable starts here: HOME and the XDG folders point into a private temporary
// directory, so no test can read or write the real user's configuration.
#include "support/tempdir.h"

#include <cstdlib>
#include <gmock/gmock.h>

int main(int argc, char** argv) {
    korvane::test::TempDir home;
    setenv("HOME", home.path().c_str(), 1);
    setenv("XDG_CONFIG_HOME", (home.path() / ".config").c_str(), 1);
    setenv("XDG_CACHE_HOME", (home.path() / ".cache").c_str(), 1);
    setenv("LC_ALL", "C.UTF-8", 0);
    testing::InitGoogleMock(&argc, argv);
    return RUN_ALL_TESTS();
}
