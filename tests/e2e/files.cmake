# End-to-end runs of the transfers and the directory browser: the real naviro
# through the script console against pyftpdlib on loopback. They need the
# generated sound library (NAVIRO_GENERATE_DATA) and are skipped without it.
if(EXISTS /usr/bin/python3)
  set(_files_python /usr/bin/python3)
else()
  find_program(_files_python python3 REQUIRED)
endif()
foreach(_case files_transfers_passive files_transfers_active files_abort_and_progress
    files_browser files_ipv6_epsv_eprt_mlsd files_old_server files_resume_after_kill
    files_listing_while_announced files_tls_vsftpd_passive files_tls_vsftpd_active
    files_tls_vsftpd_abort files_tls_pyftpdlib_passive files_tls_pyftpdlib_active
    files_tls_pyftpdlib_tls13 files_tls_proftpd_passive files_tls_proftpd_active
    files_tls_ipv6_epsv_eprt)
  add_test(NAME e2e_${_case}
    COMMAND ${_files_python} ${CMAKE_CURRENT_SOURCE_DIR}/e2e/files_e2e.py
      --naviro $<TARGET_FILE:naviro> --quiral ${QUIRAL_BUILD_ROOT} --case ${_case})
  set_tests_properties(e2e_${_case} PROPERTIES TIMEOUT 150 SKIP_RETURN_CODE 77)
endforeach()
