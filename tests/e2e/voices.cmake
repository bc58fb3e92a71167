# The system voices inside the real program, through the script console:
# eSpeak NG speaks the prompts into the audio file, and a Speech Dispatcher
# voice that cannot be reached leaves the recorded voice, with no message.
add_test(NAME e2e_voices
  COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/e2e/voices_e2e.sh
    $<TARGET_FILE:naviro> ${QUIRAL_BUILD_ROOT} ${CMAKE_CURRENT_BINARY_DIR}/voices_e2e_out)
set_tests_properties(e2e_voices PROPERTIES TIMEOUT 120 SKIP_RETURN_CODE 77)

# Every voice heard during the wait for a key: SDL's disk driver plays in
# real time into a FIFO beside a time-stamped event log.
add_test(NAME e2e_voices_realtime
  COMMAND /usr/bin/python3 ${CMAKE_CURRENT_SOURCE_DIR}/e2e/voices_realtime_e2e.py
    $<TARGET_FILE:naviro> ${QUIRAL_BUILD_ROOT} ${CMAKE_CURRENT_BINARY_DIR}/voices_realtime_out)
set_tests_properties(e2e_voices_realtime PROPERTIES TIMEOUT 120 SKIP_RETURN_CODE 77)
