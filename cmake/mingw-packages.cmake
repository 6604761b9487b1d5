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

# CLI11 is header-only: a folder holding nothing but a link to its headers.
set(QUARN_CLI11_HEADERS /usr/include/CLI CACHE PATH "CLI11's headers for the cross build")
if(EXISTS ${QUARN_CLI11_HEADERS}/CLI.hpp AND NOT TARGET CLI11::CLI11)
  set(cli11_include ${CMAKE_BINARY_DIR}/cli11-include)
  file(MAKE_DIRECTORY ${cli11_include})
  file(CREATE_LINK ${QUARN_CLI11_HEADERS} ${cli11_include}/CLI SYMBOLIC)
  add_library(CLI11::CLI11 INTERFACE IMPORTED GLOBAL)
  set_target_properties(CLI11::CLI11 PROPERTIES INTERFACE_INCLUDE_DIRECTORIES ${cli11_include}
                                                INTERFACE_SYSTEM_INCLUDE_DIRECTORIES ${cli11_include})
endif()
set(CLI11_DIR ${CMAKE_CURRENT_LIST_DIR}/mingw-packages CACHE PATH "" FORCE)

# nlohmann's JSON library is header-only too, and offered the same way.
set(QUARN_NLOHMANN_JSON_HEADERS /usr/include/nlohmann CACHE PATH "nlohmann-json's headers for the cross build")
if(EXISTS ${QUARN_NLOHMANN_JSON_HEADERS}/json.hpp AND NOT TARGET nlohmann_json::nlohmann_json)
  set(nlohmann_include ${CMAKE_BINARY_DIR}/nlohmann-json-include)
  file(MAKE_DIRECTORY ${nlohmann_include})
  file(CREATE_LINK ${QUARN_NLOHMANN_JSON_HEADERS} ${nlohmann_include}/nlohmann SYMBOLIC)
  add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED GLOBAL)
  set_target_properties(nlohmann_json::nlohmann_json PROPERTIES INTERFACE_INCLUDE_DIRECTORIES ${nlohmann_include}
                                                                INTERFACE_SYSTEM_INCLUDE_DIRECTORIES ${nlohmann_include})
endif()
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
