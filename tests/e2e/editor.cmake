# The line editor with screen review inside the real program, through the
# script console (skipped without the generated sound library).
add_test(NAME e2e_editor_review
  COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/e2e/editor_e2e.sh
    $<TARGET_FILE:naviro> ${QUIRAL_BUILD_ROOT} ${CMAKE_CURRENT_BINARY_DIR}/editor_e2e_out)
set_tests_properties(e2e_editor_review PROPERTIES TIMEOUT 90 SKIP_RETURN_CODE 77)
