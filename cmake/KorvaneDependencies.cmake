# Every external library comes from the distribution (scripts/bootstrap installs them).

find_package(PkgConfig REQUIRED)
find_package(Threads REQUIRED)
find_package(ICU 72 REQUIRED COMPONENTS uc i18n)
find_package(nlohmann_json 3.10 REQUIRED)
find_package(fmt REQUIRED)
find_package(tl-expected REQUIRED)
find_package(OpenSSL 3 REQUIRED COMPONENTS Crypto)

if(KORVANE_BUILD_TESTS)
  find_package(GTest REQUIRED)
  include(GoogleTest)
endif()

if(KORVANE_BUILD_BENCH)
  find_package(benchmark REQUIRED)
endif()

# The X11 session: raw input, grabs and XTEST through xcb, a window's client process through
# X-Resource, key symbols through xkbcommon, the accessibility switch over D-Bus.
pkg_check_modules(XCB REQUIRED IMPORTED_TARGET xcb xcb-xinput xcb-xtest xcb-xkb xcb-record xcb-res)
pkg_check_modules(XKBCOMMON REQUIRED IMPORTED_TARGET xkbcommon xkbcommon-x11)
pkg_check_modules(DBUS REQUIRED IMPORTED_TARGET dbus-1)

# The application's main loop, clipboard and windows.
find_package(Qt6 6.4 REQUIRED COMPONENTS Widgets)
if(KORVANE_BUILD_TESTS)
  # Widget tests click, type and wait for signals with Qt's own test helpers.
  find_package(Qt6 6.4 REQUIRED COMPONENTS Test)
endif()

# Focused text, its caret and selection over the accessibility bus.
pkg_check_modules(ATSPI REQUIRED IMPORTED_TARGET atspi-2 gobject-2.0)
