# Native (Linux) build: the platform-free core, its tests and benchmarks.
find_package(nlohmann_json 3 REQUIRED)
find_package(GTest REQUIRED)

if(TORVANE_FUZZ)
    if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
        message(FATAL_ERROR "TORVANE_FUZZ needs clang for libFuzzer")
    endif()
    # Everything gets the fuzzer's coverage hooks and both sanitizers; only the fuzz targets
    # link libFuzzer's main (fuzz/CMakeLists.txt).
    add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer
                        -fno-sanitize-recover=undefined)
    add_link_options(-fsanitize=address,undefined)
elseif(TORVANE_SANITIZE)
    add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer
                        -fno-sanitize-recover=undefined)
    add_link_options(-fsanitize=address,undefined)
endif()

add_library(torvane_json INTERFACE)
target_link_libraries(torvane_json INTERFACE nlohmann_json::nlohmann_json)

set(TORVANE_GTEST_LIBS GTest::gtest GTest::gtest_main)
