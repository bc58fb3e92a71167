# Figures of the built-in engine's text front against eSpeak NG (not part of
# the tests): build/bench/engine_bench [--mismatches FILE] [--show WORD...]
pkg_check_modules(ENGINE_BENCH_ESPEAK IMPORTED_TARGET espeak-ng)
if(ENGINE_BENCH_ESPEAK_FOUND)
  add_executable(engine_bench EXCLUDE_FROM_ALL ${CMAKE_CURRENT_LIST_DIR}/engine_bench.cpp)
  target_link_libraries(engine_bench PRIVATE synth tts speech_measures)
  target_compile_definitions(engine_bench PRIVATE ENGINE_BENCH_DIR="${QUIRAL_BUILD_ROOT}/coraltts")
  add_dependencies(engine_bench engine_data)
  if(TARGET diphone_data)
    add_dependencies(engine_bench diphone_data)
  endif()
endif()
