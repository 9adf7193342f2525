# SPDX-License-Identifier: GPL-3.0-or-later

# Finds the synthesis tool and the four libraries that travel with it on the build machine.
# They are embedded in the program as resources ":/tools/101" to ":/tools/105", in the
# order in which they are written and deleted at run time.

find_program(QUORVANE_SOX_PROGRAM sox)
if(NOT QUORVANE_SOX_PROGRAM)
    message(FATAL_ERROR "The sound tool 'sox' was not found. Install it with: apt-get install sox")
endif()
file(REAL_PATH "${QUORVANE_SOX_PROGRAM}" quorvane_tool_101)

# Libraries as the system's loader resolves them (the architecture's library folders first).
set(quorvane_tool_libraries
    102 libmad.so.0 libmad0
    103 libmp3lame.so.0 libmp3lame0
    104 libpthread.so.0 libc6
    105 libz.so.1 zlib1g)
while(quorvane_tool_libraries)
    list(POP_FRONT quorvane_tool_libraries id soname package)
    find_library(QUORVANE_TOOL_${id} NAMES ${soname} NO_CACHE)
    if(NOT QUORVANE_TOOL_${id})
        message(FATAL_ERROR "The library ${soname} that the sound tool uses was not found. "
                            "Install it with: apt-get install ${package}")
    endif()
    file(REAL_PATH "${QUORVANE_TOOL_${id}}" quorvane_tool_${id})
endwhile()

set(QUORVANE_TOOL_FILES)
foreach(id 101 102 103 104 105)
    message(STATUS "Embedded tool file ${id}: ${quorvane_tool_${id}}")
    set(QUORVANE_TOOL_FILE_${id} ${quorvane_tool_${id}})
    list(APPEND QUORVANE_TOOL_FILES ${quorvane_tool_${id}})
endforeach()
