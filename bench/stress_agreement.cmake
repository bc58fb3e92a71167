# Stress agreement of the translator with eSpeak NG (not part of the tests):
#   stress_agreement data/regras.rgr data/portug.exc [wordlist [count [mismatches]]]
pkg_check_modules(BENCH_ESPEAK IMPORTED_TARGET espeak-ng)
if(BENCH_ESPEAK_FOUND)
  add_executable(stress_agreement EXCLUDE_FROM_ALL ${CMAKE_CURRENT_LIST_DIR}/stress_agreement.cpp)
  target_link_libraries(stress_agreement PRIVATE speech speech_measures)
endif()
