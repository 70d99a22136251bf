# The library order, enforced when CMake configures. Each entry is one level, from the bottom; the
# libraries of one level are siblings. A file may include headers of its own library and of libraries
# below its level, and only of libraries its target names as dependencies; a header may include only
# what its library names as PUBLIC_DEPS, and a PUBLIC dependency no header includes must be private.
# The order here is the one README.md's Layout describes.
set(KORVANE_LAYERS
  "base"
  "platform"
  "platform_fake platform_linux platform_qt"
  "gitguard"
  "model"
  "matcher"
  "watch"
  "config"
  "registry"
  "input"
  "providers"
  "files"
  "presentation"
  "popup search"
  "detail settings onboarding"
  "uikit"
  "popup_views"
  "detail_views settings_views onboarding_views"
  "app"
  "korvane")

# korvane_check_includes(<target>)
# Puts a target under the check; korvane_library() does so for every library.
function(korvane_check_includes target)
  set_property(GLOBAL APPEND PROPERTY KORVANE_CHECKED_TARGETS ${target})
endfunction()

# The level of a target's layer name (korvane_<name>, or the executable korvane) in `out`; empty when
# the order does not list it.
function(_korvane_layer_level target out)
  string(REGEX REPLACE "^korvane_" "" name "${target}")
  set(level 0)
  foreach(layer IN LISTS KORVANE_LAYERS)
    separate_arguments(names UNIX_COMMAND "${layer}")
    if(name IN_LIST names)
      set(${out} ${level} PARENT_SCOPE)
      return()
    endif()
    math(EXPR level "${level} + 1")
  endforeach()
  set(${out} "" PARENT_SCOPE)
endfunction()

# The Korvane targets in a link list: aliases resolved, link-only wrappers removed.
function(_korvane_link_targets list out)
  set(result "")
  foreach(item IN LISTS list)
    string(REGEX REPLACE "^\\$<LINK_ONLY:(.*)>$" "\\1" item "${item}")
    string(REPLACE "korvane::" "korvane_" item "${item}")
    if(item MATCHES "^korvane")
      list(APPEND result ${item})
    endif()
  endforeach()
  set(${out} ${result} PARENT_SCOPE)
endfunction()

# Runs once every checked target exists (the end of src/CMakeLists.txt). Reads the files on disk,
# headers included, so that a header missing from every list cannot escape the check; it lists files
# only to read them and never builds from the listing.
function(korvane_check_layering)
  get_property(targets GLOBAL PROPERTY KORVANE_CHECKED_TARGETS)
  set(src "${PROJECT_SOURCE_DIR}/src")
  set(problems "")

  # Which target owns each file: a source by its target's list, a header by the source of the same
  # name, else by the library of its folder.
  foreach(target IN LISTS targets)
    get_target_property(dir ${target} SOURCE_DIR)
    get_target_property(type ${target} TYPE)
    get_target_property(sources ${target} SOURCES)
    set(files_${target} "")
    if(sources)
      foreach(source IN LISTS sources)
        cmake_path(ABSOLUTE_PATH source BASE_DIRECTORY "${dir}" OUTPUT_VARIABLE path)
        list(APPEND files_${target} "${path}")
        cmake_path(REMOVE_EXTENSION path LAST_ONLY OUTPUT_VARIABLE stem)
        set("owner_${stem}" ${target})
      endforeach()
    endif()
    if(NOT type STREQUAL "EXECUTABLE")
      set("library_${dir}" ${target})
    endif()
    _korvane_layer_level(${target} level)
    if(level STREQUAL "")
      list(APPEND problems "${target} is missing from KORVANE_LAYERS in cmake/KorvaneLayering.cmake")
    endif()
    set(level_${target} "${level}")
  endforeach()
  foreach(target IN LISTS targets)
    get_target_property(dir ${target} SOURCE_DIR)
    file(GLOB headers LIST_DIRECTORIES false "${dir}/*.h")
    foreach(header IN LISTS headers)
      cmake_path(REMOVE_EXTENSION header LAST_ONLY OUTPUT_VARIABLE stem)
      if(DEFINED "owner_${stem}")
        set(owner "${owner_${stem}}")
      else()
        set(owner "${library_${dir}}")
      endif()
      if(owner STREQUAL target AND NOT DEFINED "header_${header}")
        list(APPEND files_${target} "${header}")
        set("header_${header}" ${target})
      endif()
    endforeach()
  endforeach()

  foreach(target IN LISTS targets)
    get_target_property(type ${target} TYPE)
    if(type STREQUAL "INTERFACE_LIBRARY")
      get_target_property(direct ${target} INTERFACE_LINK_LIBRARIES)
      set(public "${direct}")
    else()
      get_target_property(direct ${target} LINK_LIBRARIES)
      get_target_property(public ${target} INTERFACE_LINK_LIBRARIES)
      list(FILTER public EXCLUDE REGEX "^\\$<LINK_ONLY:")
      if(type STREQUAL "EXECUTABLE")
        set(public "")
      endif()
    endif()
    _korvane_link_targets("${direct}" direct)
    _korvane_link_targets("${public}" public)
    set(needed_public "")
    foreach(file IN LISTS files_${target})
      file(STRINGS "${file}" lines REGEX "^[ \t]*#[ \t]*include[ \t]*\"[^\"]+\"")
      cmake_path(RELATIVE_PATH file BASE_DIRECTORY "${src}" OUTPUT_VARIABLE shown)
      foreach(line IN LISTS lines)
        string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*\"([^\"]+)\".*$" "\\1" included "${line}")
        set(path "${src}/${included}")
        if(NOT EXISTS "${path}")
          continue()
        endif()
        if(DEFINED "header_${path}")
          set(owner "${header_${path}}")
        else()
          cmake_path(GET path PARENT_PATH parent)
          set(owner "${library_${parent}}")
        endif()
        if(owner STREQUAL "" OR owner STREQUAL target)
          continue()
        endif()
        if(NOT "${level_${owner}}" STREQUAL "" AND NOT "${level_${target}}" STREQUAL ""
           AND "${level_${owner}}" GREATER_EQUAL "${level_${target}}")
          list(APPEND problems "${shown} includes ${included}: ${owner} is not below ${target} in the order")
        elseif(NOT owner IN_LIST direct)
          list(APPEND problems "${shown} includes ${included}, but ${target} does not name ${owner} as a dependency")
        elseif(file MATCHES "\\.h$" AND NOT type STREQUAL "EXECUTABLE")
          list(APPEND needed_public ${owner})
          if(NOT owner IN_LIST public)
            list(APPEND problems "${shown} is a header that includes ${included}: ${owner} must be a PUBLIC_DEPS of ${target}")
          endif()
        endif()
      endforeach()
    endforeach()
    foreach(dependency IN LISTS public)
      if(NOT dependency IN_LIST needed_public AND NOT type STREQUAL "INTERFACE_LIBRARY")
        list(APPEND problems "no header of ${target} includes ${dependency}: it belongs in DEPS, not PUBLIC_DEPS")
      endif()
    endforeach()
  endforeach()

  if(problems)
    list(JOIN problems "\n  " text)
    message(FATAL_ERROR "The library order is broken:\n  ${text}")
  endif()
endfunction()
