# Warnings and sanitizers for our own targets, and one way to declare libraries and tests.

set(KORVANE_WARNINGS
  -Wall -Wextra -Wpedantic -Wno-missing-field-initializers
  -Werror=return-type -Werror=narrowing -Werror=conversion-null
  -Wconversion -Wsign-conversion -Wno-error=sign-conversion)

if(KORVANE_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()

# korvane_library(<folder> [SOURCES ...] [PUBLIC_DEPS ...] [DEPS ...])
# Creates the static library korvane_<folder> with the alias korvane::<folder>. PUBLIC_DEPS are what
# its headers include, DEPS what only its sources include; every Korvane library it includes is named
# in one of them, or the layering check fails the configure step (cmake/KorvaneLayering.cmake).
# Without sources it is an interface library of headers, and every dependency is its users'.
function(korvane_library folder)
  cmake_parse_arguments(ARG "" "" "SOURCES;PUBLIC_DEPS;DEPS" ${ARGN})
  set(target korvane_${folder})
  if(ARG_SOURCES)
    add_library(${target} STATIC ${ARG_SOURCES})
    target_include_directories(${target} PUBLIC ${PROJECT_SOURCE_DIR}/src)
    target_compile_options(${target} PRIVATE ${KORVANE_WARNINGS})
    target_link_libraries(${target} PUBLIC ${ARG_PUBLIC_DEPS} PRIVATE ${ARG_DEPS})
  else()
    add_library(${target} INTERFACE)
    target_include_directories(${target} INTERFACE ${PROJECT_SOURCE_DIR}/src)
    target_link_libraries(${target} INTERFACE ${ARG_PUBLIC_DEPS} ${ARG_DEPS})
  endif()
  add_library(korvane::${folder} ALIAS ${target})
  korvane_check_includes(${target})
endfunction()

# korvane_test(<folder> SOURCES ... [DEPS ...] [LABELS ...])
# One GoogleTest executable per library, registered with CTest test by test.
function(korvane_test folder)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS;LABELS" ${ARGN})
  set(target korvane_${folder}_tests)
  add_executable(${target} ${ARG_SOURCES})
  target_compile_options(${target} PRIVATE ${KORVANE_WARNINGS} -Wno-conversion -Wno-sign-conversion)
  target_link_libraries(${target} PRIVATE korvane::${folder} korvane_testsupport ${ARG_DEPS}
                        GTest::gmock)
  set(props ENVIRONMENT "KORVANE_TEST=1")
  if(ARG_LABELS)
    list(APPEND props LABELS "${ARG_LABELS}")
  endif()
  # Names without parameter values: a value printed as raw bytes carries addresses, which would give
  # a test another name on every run. The listing runs when ctest starts, and a sanitized binary on
  # a busy two-core machine can take longer to start than the default five seconds.
  gtest_discover_tests(${target} DISCOVERY_MODE PRE_TEST NO_PRETTY_VALUES DISCOVERY_TIMEOUT 60
                       PROPERTIES ${props})
endfunction()

# korvane_x11_test(<Name> TARGET <executable> SOURCES ... [DEPS ...] [FIXTURES <dir>])
# A GoogleTest executable that runs whole in a private X session (scripts/xvfb-session) as the CTest
# test x11.<Name>. X11 tests type real keys and wait on the X server within bounds of a few seconds, so
# they run alone: no other X11 test, nor a test that keeps the processors busy with git runs.
function(korvane_x11_test name)
  cmake_parse_arguments(ARG "" "TARGET;FIXTURES" "SOURCES;DEPS" ${ARGN})
  add_executable(${ARG_TARGET} ${ARG_SOURCES})
  target_compile_options(${ARG_TARGET} PRIVATE ${KORVANE_WARNINGS} -Wno-conversion -Wno-sign-conversion)
  if(ARG_FIXTURES)
    target_compile_definitions(${ARG_TARGET} PRIVATE KORVANE_FIXTURES="${ARG_FIXTURES}")
  endif()
  target_link_libraries(${ARG_TARGET} PRIVATE ${ARG_DEPS} korvane_testsupport GTest::gmock)
  add_test(NAME x11.${name} COMMAND ${PROJECT_SOURCE_DIR}/scripts/xvfb-session $<TARGET_FILE:${ARG_TARGET}>)
  set_tests_properties(x11.${name} PROPERTIES
    LABELS x11
    RESOURCE_LOCK x11-session
    RUN_SERIAL TRUE
    ENVIRONMENT KORVANE_TEST=1
    TIMEOUT 120)
endfunction()
