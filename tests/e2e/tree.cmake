# End-to-end runs of whole folders: receive and send a tree against
# pyftpdlib and vsftpd on loopback, checksums compared. vsftpd's cases need
# root and are skipped without it, as without the generated sound library.
if(EXISTS /usr/bin/python3)
  set(_tree_python /usr/bin/python3)
else()
  find_program(_tree_python python3 REQUIRED)
endif()
foreach(_case tree_receive_pyftpdlib tree_receive_pyftpdlib_mlsd tree_send_pyftpdlib tree_receive_vsftpd tree_send_vsftpd
    tree_everyday_commands tree_saved_sites tree_keyring tree_marked_browser
    tree_stop_and_progress tree_server_killed tree_send_pattern tree_marked_picker
    tree_parallel_pyftpdlib tree_parallel_vsftpd_two tree_parallel_vsftpd_tls)
  add_test(NAME e2e_${_case}
    COMMAND ${_tree_python} ${CMAKE_CURRENT_SOURCE_DIR}/e2e/tree_e2e.py
      --naviro $<TARGET_FILE:naviro> --quiral ${QUIRAL_BUILD_ROOT} --case ${_case})
  set_tests_properties(e2e_${_case} PROPERTIES TIMEOUT 150 SKIP_RETURN_CODE 77)
endforeach()
