# Figures of the diphone synthesiser library and its database (not part of
# the tests; run after a build that generated the database):
#   build/bench/synth_bench [--wav DIR] [--words LIST] [--word-limit N]
if(TARGET speech_measures AND TARGET diphone_data)
  add_executable(synth_bench EXCLUDE_FROM_ALL ${CMAKE_CURRENT_LIST_DIR}/synth_bench.cpp)
  target_link_libraries(synth_bench PRIVATE synth speech speech_measures)
  target_compile_definitions(synth_bench PRIVATE QUIRAL_BUILD_ROOT="${QUIRAL_BUILD_ROOT}")
  add_dependencies(synth_bench diphone_data engine_data)
endif()
