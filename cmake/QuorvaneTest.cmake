# SPDX-License-Identifier: GPL-3.0-or-later

# quorvane_add_test(<name> SOURCES <files...> LIBRARIES <targets...> [ENVIRONMENT <VAR=value...>]
#                   [FIXTURES <fixtures...>] [TIMEOUT <seconds>] [LABELS <labels...>])
#
# Builds one Qt Test executable and registers it with CTest. Every test runs on the offscreen
# platform; the test support library gives each run its own throw-away settings and
# temporary folders (see tests/support/test_sandbox.h), so a test never touches the user's own.
function(quorvane_add_test name)
    cmake_parse_arguments(ARG "" "TIMEOUT" "SOURCES;LIBRARIES;ENVIRONMENT;FIXTURES;LABELS" ${ARGN})
    if(NOT ARG_TIMEOUT)
        set(ARG_TIMEOUT 120)
    endif()
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE ${ARG_LIBRARIES} quorvane_test_support Qt6::Test quorvane_warnings)
    add_test(NAME ${name} COMMAND ${name})
    # A test function that hangs ends a little before the test's timeout, with the stacks of its
    # threads in the output, instead of being killed without a word.
    math(EXPR function_timeout_ms "(${ARG_TIMEOUT} - 10) * 1000")
    set_tests_properties(${name} PROPERTIES
        TIMEOUT ${ARG_TIMEOUT}
        ENVIRONMENT "QT_QPA_PLATFORM=offscreen;QUORVANE_PLUGIN_DIR=${CMAKE_BINARY_DIR};QTEST_FUNCTION_TIMEOUT=${function_timeout_ms};${ARG_ENVIRONMENT}")
    if(ARG_FIXTURES)
        set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED "${ARG_FIXTURES}")
    endif()
    if(ARG_LABELS)
        set_tests_properties(${name} PROPERTIES LABELS "${ARG_LABELS}")
    endif()
endfunction()
