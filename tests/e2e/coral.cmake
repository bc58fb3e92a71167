# The built-in Portuguese engine (TIPOSAPI=3) inside the real program,
# through the script console: its prompts spoken by our own synthesiser into
# the audio file, found both by the configured path and through the
# registry file install-config.sh writes; a database that cannot be opened
# leaves the recorded voice, with no message.
add_test(NAME e2e_coral
  COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/e2e/coral_e2e.sh
    $<TARGET_FILE:naviro> ${QUIRAL_BUILD_ROOT} ${CMAKE_CURRENT_BINARY_DIR}/coral_e2e_out
    ${CMAKE_SOURCE_DIR}/scripts/install-config.sh)
set_tests_properties(e2e_coral PROPERTIES TIMEOUT 120 SKIP_RETURN_CODE 77)
