# DLL planting: the real Torvane.exe started from a folder holding DLLs named like the system
# DLLs it uses, with Wine told to prefer such native copies as Windows does.
add_library(planted_dll SHARED ${CMAKE_CURRENT_LIST_DIR}/planting/planted.cpp
            ${CMAKE_CURRENT_LIST_DIR}/planting/planted.def)
set_target_properties(planted_dll PROPERTIES PREFIX "" OUTPUT_NAME planted)
torvane_warnings(planted_dll)

add_executable(planting_control ${CMAKE_CURRENT_LIST_DIR}/planting/control.cpp)
target_link_libraries(planting_control PRIVATE wtsapi32)
target_link_options(planting_control PRIVATE -municode)
torvane_warnings(planting_control)

if(CMAKE_CROSSCOMPILING)
    add_test(NAME dll_planting
        COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/planting.sh $<TARGET_FILE:Torvane>
                $<TARGET_FILE:planting_control> $<TARGET_FILE:planted_dll>
                $<TARGET_FILE:torvane_ctl> ${CMAKE_BINARY_DIR}/planting-prefix)
    set_tests_properties(dll_planting PROPERTIES TIMEOUT 300 COST 30)
endif()
