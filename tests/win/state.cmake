# Local time through the Windows runtime again in zones with daylight-saving time, north and
# south of the equator: Wine takes its zone from TZ, Windows itself ignores it.
foreach(zone "berlin=CET-1CEST,M3.5.0,M10.5.0/3" "santiago=<-04>4<-03>,M9.1.6/24,M4.1.6/24")
    string(REGEX MATCH "^([a-z]+)=(.*)$" _ "${zone}")
    add_test(NAME state_time_win_${CMAKE_MATCH_1} COMMAND torvane_win_tests --gtest_brief=1
        --gtest_filter=WinStateTest.LocalTime*)
    add_test(NAME state_time_core_${CMAKE_MATCH_1} COMMAND torvane_core_tests --gtest_brief=1
        --gtest_filter=StateTime*)
    set_tests_properties(state_time_win_${CMAKE_MATCH_1} state_time_core_${CMAKE_MATCH_1}
        PROPERTIES ENVIRONMENT "TZ=${CMAKE_MATCH_2}")
endforeach()
