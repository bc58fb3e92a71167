# The built-in engine's diphone database (br4) and its diphone list
# (portug.dfn), generated from the phoneme inventory with eSpeak NG into the
# engine directory of the QUIRAL root. Regenerated when the inventory or the
# generator changes.
if(NAVIRO_GENERATE_DATA)
  pkg_check_modules(DIPHONEDB_ESPEAK IMPORTED_TARGET espeak-ng)
  pkg_check_modules(SAMPLERATE IMPORTED_TARGET samplerate)
  if(NOT DIPHONEDB_ESPEAK_FOUND OR NOT SAMPLERATE_FOUND)
    message(FATAL_ERROR "eSpeak NG (libespeak-ng-dev) and libsamplerate (libsamplerate0-dev) are "
                        "needed to generate the diphone database; run scripts/install-deps.sh "
                        "or configure with -DNAVIRO_GENERATE_DATA=OFF")
  endif()
  add_executable(diphonedb ${CMAKE_CURRENT_LIST_DIR}/diphonedb.cpp)
  target_link_libraries(diphonedb PRIVATE synth PkgConfig::DIPHONEDB_ESPEAK PkgConfig::SAMPLERATE)
  set(_diphone_dir ${QUIRAL_BUILD_ROOT}/coraltts)
  add_custom_command(
    OUTPUT ${_diphone_dir}/br4 ${_diphone_dir}/portug.dfn
    COMMAND diphonedb --inventory ${CMAKE_SOURCE_DIR}/data/engine/portug.fon --out ${_diphone_dir}
    DEPENDS diphonedb ${CMAKE_SOURCE_DIR}/data/engine/portug.fon
    COMMENT "Generating the diphone database br4 with eSpeak NG"
    VERBATIM)
  add_custom_target(diphone_data ALL DEPENDS ${_diphone_dir}/br4 ${_diphone_dir}/portug.dfn)
endif()
