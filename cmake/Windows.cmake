# Windows build with MinGW-w64: one static, self-contained Torvane.exe and test executables
# that CTest runs under Wine.
add_compile_definitions(UNICODE _UNICODE _WIN32_WINNT=0x0A00 WINVER=0x0A00
                        NTDDI_VERSION=0x0A000006 WIN32_LEAN_AND_MEAN NOMINMAX)
add_link_options(-static -static-libgcc -static-libstdc++)
# Every function and datum in its own section, and the sections nothing refers to left out.
add_compile_options(-ffunction-sections -fdata-sections)
add_link_options(-Wl,--gc-sections)

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

# DLLs that are not on the system's list of known DLLs are searched beside the executable
# first, and the loader resolves an executable's imports before any of its code runs: a DLL
# of the same name left in the Downloads folder next to Torvane.exe would be loaded. These are
# imported through delay-load stubs instead, so that each loads at its first use, after
# start-up has limited the search to System32. Sets OUT_VAR to the stub libraries to link.
function(torvane_delay_import_libraries out_var)
    set(stubs)
    set(folder ${CMAKE_BINARY_DIR}/delay-import)
    file(MAKE_DIRECTORY ${folder})
    foreach(name IN LISTS ARGN)
        find_library(TORVANE_IMPORT_${name} NAMES ${name} REQUIRED NO_CACHE)
        set(import_lib ${TORVANE_IMPORT_${name}})
        set(stub ${folder}/lib${name}-delay.a)
        if(NOT EXISTS ${stub} OR ${import_lib} IS_NEWER_THAN ${stub})
            execute_process(COMMAND ${CMAKE_DLLTOOL} --identify ${import_lib}
                OUTPUT_VARIABLE dll OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
            execute_process(COMMAND ${CMAKE_NM} ${import_lib}
                OUTPUT_VARIABLE symbols COMMAND_ERROR_IS_FATAL ANY)
            string(REGEX MATCHALL " I __imp_[A-Za-z0-9_]+" exports "${symbols}")
            list(TRANSFORM exports REPLACE " I __imp_" "")
            list(REMOVE_DUPLICATES exports)
            list(JOIN exports "\n" export_lines)
            file(WRITE ${folder}/${name}.def "LIBRARY ${dll}\nEXPORTS\n${export_lines}\n")
            execute_process(COMMAND ${CMAKE_DLLTOOL} --input-def ${folder}/${name}.def
                --dllname ${dll} --output-delaylib ${stub} COMMAND_ERROR_IS_FATAL ANY)
        endif()
        list(APPEND stubs ${stub})
    endforeach()
    set(${out_var} ${stubs} PARENT_SCOPE)
endfunction()
