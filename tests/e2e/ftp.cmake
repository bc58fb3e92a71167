# End-to-end runs of the FTP client: the real naviro through the script
# console against pyftpdlib and a scripted server on loopback. They need the
# generated sound library (NAVIRO_GENERATE_DATA) and are skipped without it.
if(EXISTS /usr/bin/python3)
  set(_ftp_python /usr/bin/python3)
else()
  find_program(_ftp_python python3 REQUIRED)
endif()
foreach(_case ftp_commands_passive ftp_login_user_active ftp_refusals ftp_greeting_split
    ftp_greeting_421 ftp_greeting_120 ftp_silent_server_esc ftp_closed_mid_reply
    ftp_hostile_replies ftp_unknown_host ftp_refused_connection ftp_tls_required_plain
    ftp_tls_auto_plain ftp_tls_certificate)
  add_test(NAME e2e_${_case}
    COMMAND ${_ftp_python} ${CMAKE_CURRENT_SOURCE_DIR}/e2e/ftp_e2e.py
      --naviro $<TARGET_FILE:naviro> --quiral ${QUIRAL_BUILD_ROOT} --case ${_case})
  set_tests_properties(e2e_${_case} PROPERTIES TIMEOUT 120 SKIP_RETURN_CODE 77)
endforeach()
