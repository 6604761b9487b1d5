# Included at the end of project(quarn) in a MinGW cross build.
#
# libgcc, libstdc++ and winpthread go into every program itself, so that it
# needs no DLL beyond the system's. A link option rather than the linker
# flags' initial value: a build that passes its own CMAKE_EXE_LINKER_FLAGS
# (say -s) keeps it.
add_link_options(-static)

# Debian ships googletest only as sources and CLI11 and nlohmann-json only as
# host headers, and the host's package files would put /usr/include on the
# cross compiler's path. So the cross build compiles googletest itself,
# offers each header library's headers alone, and gives all of them the
# target names that find_package would give; the package files in
# mingw-packages/ make those find_package calls succeed.

# A header-only library is offered as a folder holding nothing but a link to
# its headers, under the target name that find_package would give.
#   quarn_header_only(TARGET HEADERS LINK_NAME PROBE)
# HEADERS is the host's folder of headers, linked as LINK_NAME; PROBE is a
# file that must be in it.
function(quarn_header_only target headers link_name probe)
  if(NOT EXISTS ${headers}/${probe} OR TARGET ${target})
    return()
  endif()
  set(include ${CMAKE_BINARY_DIR}/header-only/${link_name})
  file(MAKE_DIRECTORY ${include})
  file(CREATE_LINK ${headers} ${include}/${link_name} SYMBOLIC)
  add_library(${target} INTERFACE IMPORTED GLOBAL)
  set_target_properties(${target} PROPERTIES INTERFACE_INCLUDE_DIRECTORIES ${include}
                                             INTERFACE_SYSTEM_INCLUDE_DIRECTORIES ${include})
endfunction()

set(QUARN_CLI11_HEADERS /usr/include/CLI CACHE PATH "CLI11's headers for the cross build")
quarn_header_only(CLI11::CLI11 ${QUARN_CLI11_HEADERS} CLI CLI.hpp)
set(CLI11_DIR ${CMAKE_CURRENT_LIST_DIR}/mingw-packages CACHE PATH "" FORCE)

set(QUARN_NLOHMANN_JSON_HEADERS /usr/include/nlohmann CACHE PATH "nlohmann-json's headers for the cross build")
quarn_header_only(nlohmann_json::nlohmann_json ${QUARN_NLOHMANN_JSON_HEADERS} nlohmann json.hpp)
set(nlohmann_json_DIR ${CMAKE_CURRENT_LIST_DIR}/mingw-packages CACHE PATH "" FORCE)

if(DEFINED QUARN_TESTS AND NOT QUARN_TESTS)
  return()
endif()
set(QUARN_GOOGLETEST_SOURCE /usr/src/googletest CACHE PATH "googletest sources for the cross build")
if(NOT EXISTS ${QUARN_GOOGLETEST_SOURCE}/CMakeLists.txt)
  message(FATAL_ERROR "googletest sources not found at ${QUARN_GOOGLETEST_SOURCE} (Debian package googletest)")
endif()
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
add_subdirectory(${QUARN_GOOGLETEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
foreach(lib gtest gtest_main gmock gmock_main)
  if(TARGET ${lib} AND NOT TARGET GTest::${lib})
    add_library(GTest::${lib} ALIAS ${lib})
  endif()
endforeach()
set(GTest_DIR ${CMAKE_CURRENT_LIST_DIR}/mingw-packages CACHE PATH "" FORCE)
