# Windows build with MinGW-w64: one static, self-contained Torvane.exe and test executables
# that CTest runs under Wine.
add_compile_definitions(UNICODE _UNICODE _WIN32_WINNT=0x0A00 WINVER=0x0A00
                        NTDDI_VERSION=0x0A000006 WIN32_LEAN_AND_MEAN NOMINMAX)
add_link_options(-static -static-libgcc -static-libstdc++)

if(CMAKE_CROSSCOMPILING)
    # nlohmann/json lives in /usr/include, which must not be on the MinGW include path:
    # expose only its own folder.
    set(TORVANE_JSON_INCLUDE ${CMAKE_BINARY_DIR}/json-include)
    file(MAKE_DIRECTORY ${TORVANE_JSON_INCLUDE})
    file(CREATE_LINK /usr/include/nlohmann ${TORVANE_JSON_INCLUDE}/nlohmann SYMBOLIC)
    add_library(torvane_json INTERFACE)
    target_include_directories(torvane_json SYSTEM INTERFACE ${TORVANE_JSON_INCLUDE})

    # GoogleTest from the sources Debian ships.
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
    add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
else()
    # Building on Windows itself (MSYS2): the toolchain's own packages.
    find_package(nlohmann_json 3 REQUIRED)
    find_package(GTest REQUIRED)
    add_library(torvane_json INTERFACE)
    target_link_libraries(torvane_json INTERFACE nlohmann_json::nlohmann_json)
endif()
set(TORVANE_GTEST_LIBS GTest::gtest GTest::gtest_main)

# Test executables run under Wine through the project's wrapper: the build tree's own prefix,
# and a virtual X server when there is no display.
set(TORVANE_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)
if(CMAKE_CROSSCOMPILING)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_SOURCE_DIR}/scripts/wine-run --prefix ${TORVANE_WINEPREFIX})
endif()
