# The speech measures the voice benchmarks share (eSpeak NG as reference,
# word sample, stress, clicks, mel-cepstral distortion).
pkg_check_modules(MEASURES_ESPEAK IMPORTED_TARGET espeak-ng)
if(MEASURES_ESPEAK_FOUND)
  add_library(speech_measures STATIC EXCLUDE_FROM_ALL ${CMAKE_CURRENT_LIST_DIR}/speechMeasures.cpp)
  target_include_directories(speech_measures PUBLIC ${CMAKE_SOURCE_DIR})
  target_link_libraries(speech_measures PUBLIC base PkgConfig::MEASURES_ESPEAK)
endif()
