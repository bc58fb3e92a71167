# console_demo and the CTest cases that drive it through the script console:
# each case is a key script with the screen, attributes and event log the
# run must leave, and its exit code (see run_console_demo.sh).
if(EXISTS ${CMAKE_SOURCE_DIR}/console/qrCrt.cpp)
  add_executable(console_demo ${CMAKE_CURRENT_LIST_DIR}/console_demo.cpp)
  target_link_libraries(console_demo PRIVATE platform console speech)

  set(_cases ${CMAKE_CURRENT_LIST_DIR}/console)
  foreach(_case typing braille until used_up bad_name signal terminal_refused)
    add_test(NAME console_demo.${_case}
      COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/run_console_demo.sh
              $<TARGET_FILE:console_demo> ${_cases} ${_case}
              ${CMAKE_CURRENT_BINARY_DIR}/console_demo_out)
    set_tests_properties(console_demo.${_case} PROPERTIES TIMEOUT 60)
  endforeach()
endif()

# The same demo in terminal mode on a pseudo-terminal.
if(TARGET console_demo)
  add_test(NAME console_demo.terminal
    COMMAND python3 ${CMAKE_CURRENT_LIST_DIR}/terminal_demo.py $<TARGET_FILE:console_demo>
            ${CMAKE_CURRENT_BINARY_DIR}/console_demo_out/terminal)
  set_tests_properties(console_demo.terminal PROPERTIES TIMEOUT 60)
endif()
