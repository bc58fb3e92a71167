# The Debian package, unpacked and run as installed (see package_e2e.sh), and
# the manual page, which must format without a single groff warning. Making
# the package takes most of the package test's time: cpack starts two
# processes for each of the ~500 files to find the programs that
# dpkg-shlibdeps reads (tens of seconds on an idle machine, minutes on a
# loaded one), hence the long time-out.
add_test(NAME package_installed_run
  COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/e2e/package_e2e.sh
    ${CMAKE_BINARY_DIR} ${CMAKE_SOURCE_DIR} ${CMAKE_CURRENT_BINARY_DIR}/package_e2e_out
    $<IF:$<BOOL:${NAVIRO_HARDENING}>,hardened,plain>)
set_tests_properties(package_installed_run PROPERTIES TIMEOUT 900 SKIP_RETURN_CODE 77)

add_test(NAME manual_page_formats_cleanly
  COMMAND sh -c "out=$(groff -k -ww -z -man '${CMAKE_SOURCE_DIR}/dist/naviro.1' 2>&1) && \
test -z \"$out\" || { echo \"$out\"; exit 1; }; \
out=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 \
'${CMAKE_SOURCE_DIR}/dist/naviro.1' 2>&1 >/dev/null) && test -z \"$out\" || \
{ echo \"$out\"; exit 1; }")
set_tests_properties(manual_page_formats_cleanly PROPERTIES TIMEOUT 30)
