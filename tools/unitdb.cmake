# The syllable-unit database DIFONES1..DIFONES5, generated from the word list
# through the translator's rules and rendered with eSpeak NG. Regenerated when
# the rules, the exceptions, the word list or the generator change.
if(NAVIRO_GENERATE_DATA)
  pkg_check_modules(ESPEAKNG IMPORTED_TARGET espeak-ng)
  if(NOT ESPEAKNG_FOUND)
    message(FATAL_ERROR "eSpeak NG (libespeak-ng-dev) is needed to generate the unit database; "
                        "run scripts/install-deps.sh or configure with -DNAVIRO_GENERATE_DATA=OFF")
  endif()
  set(NAVIRO_WORDLIST /usr/share/dict/brazilian CACHE FILEPATH
      "Word list from which the unit inventory is derived")
  if(NOT EXISTS ${NAVIRO_WORDLIST})
    message(FATAL_ERROR "The word list ${NAVIRO_WORDLIST} is missing (Debian package wbrazilian)")
  endif()
  add_executable(unitdb ${CMAKE_CURRENT_LIST_DIR}/unitdb.cpp)
  target_link_libraries(unitdb PRIVATE speech PkgConfig::ESPEAKNG)
  set(_unitdb_dir ${QUIRAL_BUILD_ROOT}/som/difones)
  set(_unitdb_files)
  foreach(n 1 2 3 4 5)
    list(APPEND _unitdb_files ${_unitdb_dir}/DIFONES${n}.IND ${_unitdb_dir}/DIFONES${n}.DIF)
  endforeach()
  add_custom_command(
    OUTPUT ${_unitdb_files}
    COMMAND unitdb --rules ${CMAKE_SOURCE_DIR}/data/regras.rgr
            --exceptions ${CMAKE_SOURCE_DIR}/data/portug.exc
            --words ${NAVIRO_WORDLIST} --out ${_unitdb_dir}
            --inventory ${CMAKE_BINARY_DIR}/unitdb-inventory.txt
    DEPENDS unitdb ${CMAKE_SOURCE_DIR}/data/regras.rgr ${CMAKE_SOURCE_DIR}/data/portug.exc
            ${NAVIRO_WORDLIST}
    COMMENT "Generating the syllable-unit database (5 speeds)"
    VERBATIM)
  add_custom_target(unitdb_data ALL DEPENDS ${_unitdb_files})
endif()
