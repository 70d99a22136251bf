# Every external library comes from the distribution (scripts/bootstrap installs them).

find_package(PkgConfig REQUIRED)
find_package(Threads REQUIRED)
find_package(ICU 72 REQUIRED COMPONENTS uc i18n)
find_package(nlohmann_json 3.10 REQUIRED)
find_package(fmt REQUIRED)
find_package(tl-expected REQUIRED)

if(KORVANE_BUILD_TESTS)
  find_package(GTest REQUIRED)
  include(GoogleTest)
endif()

if(KORVANE_BUILD_BENCH)
  find_package(benchmark REQUIRED)
endif()
