# Local time through the Windows runtime once more in zones with daylight-saving time, north
# and south of the equator. Wine takes its zone from TZ; on Windows itself the variable
# changes nothing and these runs repeat the system zone's.
set(state_zones "berlin=CET-1CEST,M3.5.0,M10.5.0/3" "santiago=<-04>4<-03>,M9.1.6/24,M4.1.6/24")
foreach(entry IN LISTS state_zones)
    string(REGEX MATCH "^([a-z]+)=(.*)$" _ "${entry}")
    set(name ${CMAKE_MATCH_1})
    set(rule ${CMAKE_MATCH_2})
    add_test(NAME state_time_win_${name}
        COMMAND torvane_win_tests --gtest_brief=1 --gtest_filter=WinStateTest.LocalTime*)
    add_test(NAME state_time_core_${name}
        COMMAND torvane_core_tests --gtest_brief=1 --gtest_filter=StateTime*)
    set_tests_properties(state_time_win_${name} state_time_core_${name}
        PROPERTIES ENVIRONMENT "TZ=${rule}")
endforeach()
