# Cross-built tests run under Wine, on a virtual X server, in a private prefix
# under the build folder (build/windows/wine/prefix), 32-bit or, for the 64-bit
# build, 64-bit. cmake/wine-run.sh is the emulator; scripts/wine-env.sh prepares
# the prefix and the X server.

if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(ZANTOR_WINE_ARCH win64)
else()
    set(ZANTOR_WINE_ARCH win32)
endif()
set(ZANTOR_WINE_STATE ${CMAKE_BINARY_DIR}/wine)
set(ZANTOR_WINE_RUN ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh)

# Every cross-built executable run by CTest (and by test discovery) goes through
# the wrapper.
set(CMAKE_CROSSCOMPILING_EMULATOR ${ZANTOR_WINE_RUN} ${ZANTOR_WINE_STATE} ${ZANTOR_WINE_ARCH})
# Listing the tests needs Wine and its display: do it when CTest runs, not at
# build time.
set(CMAKE_GTEST_DISCOVER_TESTS_DISCOVERY_MODE PRE_TEST)

# The prefix is made at build time (about ten seconds, once), so that the first
# test discovery does not run into its time limit.
add_custom_command(
    OUTPUT ${ZANTOR_WINE_STATE}/prefix/.zantor-prefix
    COMMAND ${ZANTOR_WINE_RUN} ${ZANTOR_WINE_STATE} ${ZANTOR_WINE_ARCH} --prepare
    DEPENDS ${ZANTOR_WINE_RUN} ${CMAKE_SOURCE_DIR}/scripts/wine-env.sh
    COMMENT "Preparing the Wine prefix"
    VERBATIM)
add_custom_target(wine_prefix ALL DEPENDS ${ZANTOR_WINE_STATE}/prefix/.zantor-prefix)

# Fixtures: a fresh wineserver before the tests that drive windows, and the
# wineserver and X server stopped after them. A wineserver left over from another
# display would put the program's windows where the tests cannot see them.
add_test(NAME wine.start COMMAND ${ZANTOR_WINE_RUN} ${ZANTOR_WINE_STATE} ${ZANTOR_WINE_ARCH} --start)
add_test(NAME wine.stop COMMAND ${ZANTOR_WINE_RUN} ${ZANTOR_WINE_STATE} ${ZANTOR_WINE_ARCH} --stop)
set_tests_properties(wine.start PROPERTIES FIXTURES_SETUP wine TIMEOUT 120)
set_tests_properties(wine.stop PROPERTIES FIXTURES_CLEANUP wine TIMEOUT 60)

# Every discovered Windows test runs inside the fixture, so that the X server and
# the wineserver are stopped after the last of them: gtest_discover_tests adds
# FIXTURES_REQUIRED wine to the properties it is given.
function(gtest_discover_tests target)
    set(args ${ARGN})
    list(FIND args PROPERTIES at)
    if(at EQUAL -1)
        list(APPEND args PROPERTIES FIXTURES_REQUIRED wine)
    else()
        math(EXPR at "${at} + 1")
        list(INSERT args ${at} FIXTURES_REQUIRED wine)
    endif()
    _gtest_discover_tests(${target} ${args})
endfunction()

# Tests that drive windows run one at a time: they share one desktop and its
# keyboard focus. Use as
#   gtest_discover_tests(t PROPERTIES ${ZANTOR_WINE_UI_TEST_PROPERTIES})
set(ZANTOR_WINE_UI_TEST_PROPERTIES RESOURCE_LOCK wine_desktop)
