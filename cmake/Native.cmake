# Native (Linux) build: the platform-free core, its tests and benchmarks.
find_package(nlohmann_json 3 REQUIRED)
find_package(GTest REQUIRED)

if(TORVANE_SANITIZE)
    add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer
                        -fno-sanitize-recover=undefined)
    add_link_options(-fsanitize=address,undefined)
endif()

add_library(torvane_json INTERFACE)
target_link_libraries(torvane_json INTERFACE nlohmann_json::nlohmann_json)

set(TORVANE_GTEST_LIBS GTest::gtest GTest::gtest_main)
