# The letter-to-sound translator's rule and exception files, copied beside
# the unit database that loads them (som/difones) in the build tree and in
# the installed QUIRAL root.
set(_translator_src ${CMAKE_CURRENT_SOURCE_DIR}/regras.rgr ${CMAKE_CURRENT_SOURCE_DIR}/portug.exc)
set(_translator_dir ${QUIRAL_BUILD_ROOT}/som/difones)
set(_translator_out ${_translator_dir}/regras.rgr ${_translator_dir}/portug.exc)
add_custom_command(
  OUTPUT ${_translator_out}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${_translator_dir}
  COMMAND ${CMAKE_COMMAND} -E copy_if_different ${_translator_src} ${_translator_dir}
  DEPENDS ${_translator_src}
  COMMENT "Copying the translator's rules and exceptions"
  VERBATIM)
add_custom_target(translator_data ALL DEPENDS ${_translator_out})
