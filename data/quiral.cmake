# The default QUIRAL.INI, with the QUIRAL root filled in: one copy for the
# build tree (${QUIRAL_BUILD_ROOT}/QUIRAL.INI) and one for the installed root.
# scripts/install-config.sh puts a copy where the program looks for it.
set(QUIRAL_ROOT ${QUIRAL_BUILD_ROOT})
configure_file(${CMAKE_CURRENT_SOURCE_DIR}/QUIRAL.INI.in ${QUIRAL_BUILD_ROOT}/QUIRAL.INI @ONLY)
set(QUIRAL_ROOT ${QUIRAL_INSTALL_ROOT})
configure_file(${CMAKE_CURRENT_SOURCE_DIR}/QUIRAL.INI.in
               ${CMAKE_CURRENT_BINARY_DIR}/install/QUIRAL.INI @ONLY)
unset(QUIRAL_ROOT)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/install/QUIRAL.INI DESTINATION ${QUIRAL_INSTALL_ROOT})
install(FILES ${CMAKE_CURRENT_SOURCE_DIR}/QUIRAL.INI.in DESTINATION ${QUIRAL_INSTALL_ROOT})
