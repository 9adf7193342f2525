# SPDX-License-Identifier: GPL-3.0-or-later

# Playback tests against a real PulseAudio server with a null sink, which the fixture starts
# before and stops after them (tests/audio/pulse-start, pulse-stop).

set(QUORVANE_AUDIO_SINK quorvane_null)
set(QUORVANE_AUDIO_DIR ${CMAKE_CURRENT_BINARY_DIR}/audio-server)
# Unix socket paths are limited to about a hundred bytes; a deep build folder gets a short one.
string(LENGTH "${QUORVANE_AUDIO_DIR}/native" socket_length)
if(socket_length GREATER 100)
    string(MD5 build_hash "${CMAKE_BINARY_DIR}")
    string(SUBSTRING "${build_hash}" 0 12 build_hash)
    set(QUORVANE_AUDIO_DIR /tmp/quorvane-audio-${build_hash})
endif()

set(audio_scripts ${PROJECT_SOURCE_DIR}/tests/audio)
add_test(NAME audio_server_start COMMAND bash ${audio_scripts}/pulse-start ${QUORVANE_AUDIO_DIR} ${QUORVANE_AUDIO_SINK})
add_test(NAME audio_server_stop COMMAND bash ${audio_scripts}/pulse-stop ${QUORVANE_AUDIO_DIR})
set_tests_properties(audio_server_start PROPERTIES FIXTURES_SETUP audio_server TIMEOUT 30 LABELS audio)
set_tests_properties(audio_server_stop PROPERTIES FIXTURES_CLEANUP audio_server TIMEOUT 30 LABELS audio)

# What a test needs to reach that server (and nothing else). Other folders' tests may use it too:
# FIXTURES audio_server, this environment, and RESOURCE_LOCK audio_server, because every test
# records what the one sink plays and would hear the others' sounds.
set(audio_environment
    PULSE_SERVER=unix:${QUORVANE_AUDIO_DIR}/native
    QUORVANE_TEST_SINK=${QUORVANE_AUDIO_SINK})
set_property(GLOBAL PROPERTY QUORVANE_AUDIO_TEST_ENVIRONMENT "${audio_environment}")

quorvane_add_test(tst_playback SOURCES tst_playback.cpp LIBRARIES quorvane_core Qt6::Multimedia
    ENVIRONMENT ${audio_environment} FIXTURES audio_server TIMEOUT 90 LABELS audio)
set_tests_properties(tst_playback PROPERTIES RESOURCE_LOCK audio_server)

# Without any audio server: nothing listens on this socket, and no other server is tried.
quorvane_add_test(tst_playback_no_server SOURCES tst_playback_no_server.cpp LIBRARIES quorvane_core Qt6::Multimedia
    ENVIRONMENT PULSE_SERVER=unix:${CMAKE_CURRENT_BINARY_DIR}/no-audio-server/native
    TIMEOUT 60 LABELS audio)
