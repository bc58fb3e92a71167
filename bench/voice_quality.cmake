# Voice quality of the syllable-unit voice against eSpeak NG (not part of the
# tests; run after a build that generated the unit database):
#   build/bench/voice_quality [--mismatches FILE] [--wav DIR]
pkg_check_modules(VQ_ESPEAK IMPORTED_TARGET espeak-ng)
if(VQ_ESPEAK_FOUND)
  add_executable(voice_quality EXCLUDE_FROM_ALL ${CMAKE_CURRENT_LIST_DIR}/voice_quality.cpp)
  target_link_libraries(voice_quality PRIVATE console speech synth speech_measures)
  target_compile_definitions(voice_quality PRIVATE QUIRAL_BUILD_ROOT="${QUIRAL_BUILD_ROOT}")
  add_dependencies(voice_quality translator_data engine_data)
  if(TARGET diphone_data)
    add_dependencies(voice_quality diphone_data)
  endif()
endif()
