# The QUIRAL root. The build tree's root (${QUIRAL_BUILD_ROOT}) is filled by
# the generators and the rules here; it is installed whole, so whatever is
# added to it later is installed with no edit here.
#
# The default QUIRAL.INI, with the root filled in: the build tree's copy
# names the build tree's root (scripts/run.sh and the tests use it); the
# installed copy is written at install time with the prefix actually
# installed to, so a package or another --prefix never points into a build
# tree. The program reads it when the user has no QUIRAL.INI of their own.
# scripts/install-config.sh puts a personal copy where the program looks.
set(QUIRAL_ROOT ${QUIRAL_BUILD_ROOT})
configure_file(${CMAKE_CURRENT_SOURCE_DIR}/QUIRAL.INI.in ${QUIRAL_BUILD_ROOT}/QUIRAL.INI @ONLY)
unset(QUIRAL_ROOT)

set(QUIRAL_INSTALL_DIR ${CMAKE_INSTALL_DATADIR}/quiral)
# The synthesiser library, which the build puts in the root, is installed
# under the library directory (synth/CMakeLists.txt).
install(DIRECTORY ${QUIRAL_BUILD_ROOT}/ DESTINATION ${QUIRAL_INSTALL_DIR}
        PATTERN QUIRAL.INI EXCLUDE PATTERN mbrola.so EXCLUDE)
install(FILES ${CMAKE_CURRENT_SOURCE_DIR}/QUIRAL.INI.in DESTINATION ${QUIRAL_INSTALL_DIR})
install(CODE "
  set(QUIRAL_ROOT \"\${CMAKE_INSTALL_PREFIX}/${QUIRAL_INSTALL_DIR}\")
  configure_file(\"${CMAKE_CURRENT_SOURCE_DIR}/QUIRAL.INI.in\"
                 \"${CMAKE_CURRENT_BINARY_DIR}/install/QUIRAL.INI\" @ONLY)
  file(INSTALL DESTINATION \"\${CMAKE_INSTALL_PREFIX}/${QUIRAL_INSTALL_DIR}\" TYPE FILE
       FILES \"${CMAKE_CURRENT_BINARY_DIR}/install/QUIRAL.INI\")
")
