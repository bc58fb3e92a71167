# The built-in engine's data files (rules, exceptions, abbreviations,
# prosody, diphone list and the phoneme inventory they share), copied to the
# engine directory of the QUIRAL root in the build tree (installed with the
# whole root).
file(GLOB _engine_src CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/engine/portug.*)
# The diphone list comes with the generated diphone database when there is
# one (tools/diphonedb); the hand-made list stands in otherwise.
if(TARGET diphone_data)
  list(FILTER _engine_src EXCLUDE REGEX "/portug\\.dfn$")
endif()
set(_engine_dir ${QUIRAL_BUILD_ROOT}/coraltts)
set(_engine_out)
foreach(f ${_engine_src})
  get_filename_component(_name ${f} NAME)
  list(APPEND _engine_out ${_engine_dir}/${_name})
endforeach()
add_custom_command(
  OUTPUT ${_engine_out}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${_engine_dir}
  COMMAND ${CMAKE_COMMAND} -E copy_if_different ${_engine_src} ${_engine_dir}
  DEPENDS ${_engine_src}
  COMMENT "Copying the engine's data files"
  VERBATIM)
add_custom_target(engine_data ALL DEPENDS ${_engine_out})
if(TARGET diphone_data)
  add_dependencies(engine_data diphone_data)
endif()
