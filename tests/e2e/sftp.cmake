# End-to-end runs over SFTP: the real naviro through the script console
# against a private OpenSSH server on loopback (tests/support/sshd-rig.sh).
# They need the generated sound library and the right to start that server
# (root, or a mount namespace); they are skipped without either.
if(EXISTS /usr/bin/python3)
  set(_sftp_python /usr/bin/python3)
else()
  find_program(_sftp_python python3 REQUIRED)
endif()
foreach(_case sftp_key_transfers sftp_password sftp_changed_key sftp_resume_killed
    sftp_server_killed sftp_bad_servers sftp_tree sftp_tree_dropped)
  add_test(NAME e2e_${_case}
    COMMAND ${_sftp_python} ${CMAKE_CURRENT_SOURCE_DIR}/e2e/sftp_e2e.py
      --naviro $<TARGET_FILE:naviro> --quiral ${QUIRAL_BUILD_ROOT} --case ${_case})
  set_tests_properties(e2e_${_case} PROPERTIES TIMEOUT 150 SKIP_RETURN_CODE 77)
endforeach()
