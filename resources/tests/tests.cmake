# Included at the end of the top-level folder (see ../CMakeLists.txt), hence the full paths.
quorvane_add_test(tst_artwork SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_artwork.cpp LIBRARIES quorvane_resources)
set_target_properties(tst_artwork PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/resources/tests)
# Checks the cursor where the program finds it, beside the program.
target_compile_definitions(tst_artwork PRIVATE QUORVANE_BUILT_HAND_CURSOR="${CMAKE_BINARY_DIR}/HAND-M.CUR")
add_dependencies(tst_artwork quorvane_hand_cursor)
