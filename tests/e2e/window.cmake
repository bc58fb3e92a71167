# console_demo (and naviro, when the sound library was generated) in window
# mode on a private virtual display, typed at with xdotool and photographed
# with xwd (skipped when they are missing).
if(TARGET console_demo)
  add_test(NAME window_e2e
    COMMAND /usr/bin/python3 ${CMAKE_CURRENT_LIST_DIR}/window_e2e.py $<TARGET_FILE:console_demo>
            ${CMAKE_CURRENT_LIST_DIR}/console ${CMAKE_CURRENT_BINARY_DIR}/window_e2e_out
            $<TARGET_FILE:naviro> ${QUIRAL_BUILD_ROOT})
  set_tests_properties(window_e2e PROPERTIES TIMEOUT 240 SKIP_RETURN_CODE 77 RUN_SERIAL TRUE)
endif()
