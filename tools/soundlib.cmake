# The environment's sound library (letters, number, time and date pieces,
# shared sounds, telephone tones, message recordings), generated from eSpeak
# NG into ${QUIRAL_BUILD_ROOT}/som and installed under the QUIRAL root.
# The tool compiles the number and catalogue code in, so it re-runs when they
# change and not when the rest of the libraries do.
if(NAVIRO_GENERATE_DATA)
  pkg_check_modules(ESPEAK_NG IMPORTED_TARGET espeak-ng)
  if(NOT ESPEAK_NG_FOUND)
    message(FATAL_ERROR "eSpeak NG (libespeak-ng-dev) is needed to generate the sound library; "
                        "install it or configure with -DNAVIRO_GENERATE_DATA=OFF")
  endif()
  add_executable(soundlib ${CMAKE_SOURCE_DIR}/tools/soundlib.cpp)
  target_link_libraries(soundlib PRIVATE speech PkgConfig::ESPEAK_NG)

  set(_soundlib_stamp ${CMAKE_BINARY_DIR}/soundlib.stamp)
  add_custom_command(
    OUTPUT ${_soundlib_stamp}
    COMMAND soundlib ${QUIRAL_BUILD_ROOT}/som 4
    COMMAND ${CMAKE_COMMAND} -E touch ${_soundlib_stamp}
    DEPENDS soundlib
            ${CMAKE_SOURCE_DIR}/tools/soundlib.cpp
            ${CMAKE_SOURCE_DIR}/speech/numbers.cpp
            ${CMAKE_SOURCE_DIR}/speech/numbers.h
            ${CMAKE_SOURCE_DIR}/tts/numbers.cpp
            ${CMAKE_SOURCE_DIR}/ftp/ftpmsgCatalogue.h
            ${CMAKE_SOURCE_DIR}/ftp/ftpmsgOwn.h
    COMMENT "Generating the sound library with eSpeak NG"
    VERBATIM)
  add_custom_target(soundlib_data ALL DEPENDS ${_soundlib_stamp})
endif()
