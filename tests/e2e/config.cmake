# A QUIRAL.INI without the synthesiser's keys, with a NUL byte in a path,
# without the unit database, and with nothing that can speak.
add_test(NAME e2e_config_values
  COMMAND sh ${CMAKE_CURRENT_SOURCE_DIR}/e2e/config_e2e.sh $<TARGET_FILE:naviro> ${QUIRAL_BUILD_ROOT})
set_tests_properties(e2e_config_values PROPERTIES TIMEOUT 120 SKIP_RETURN_CODE 77)
