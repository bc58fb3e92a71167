# fuzz_wav: a libFuzzer target for the WAV parser, made only when clang with
# the fuzzer runtime is present. It is built on request (cmake --build .
# --target fuzz_wav), never by default, so no build depends on clang.
find_program(NAVIRO_CLANGXX NAMES clang++ clang++-14 clang++-15 clang++-16)
if(NAVIRO_CLANGXX)
  set(_probe ${CMAKE_BINARY_DIR}/fuzz_probe.cpp)
  file(WRITE ${_probe}
    "extern \"C\" int LLVMFuzzerTestOneInput(const unsigned char*, unsigned long) { return 0; }\n")
  execute_process(
    COMMAND ${NAVIRO_CLANGXX} -fsanitize=fuzzer,address ${_probe} -o ${CMAKE_BINARY_DIR}/fuzz_probe
    RESULT_VARIABLE _fuzz_ok OUTPUT_QUIET ERROR_QUIET)
  if(_fuzz_ok EQUAL 0)
    file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/fuzz)
    add_custom_command(
      OUTPUT ${CMAKE_BINARY_DIR}/fuzz/fuzz_wav
      COMMAND ${NAVIRO_CLANGXX} -std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined
              -I${CMAKE_SOURCE_DIR} ${CMAKE_SOURCE_DIR}/bench/fuzz_wav.cpp
              ${CMAKE_SOURCE_DIR}/base/wav.cpp ${CMAKE_SOURCE_DIR}/speech/wavFormat.cpp
              -o ${CMAKE_BINARY_DIR}/fuzz/fuzz_wav
      DEPENDS ${CMAKE_SOURCE_DIR}/bench/fuzz_wav.cpp ${CMAKE_SOURCE_DIR}/base/wav.cpp
              ${CMAKE_SOURCE_DIR}/speech/wavFormat.cpp
              ${CMAKE_SOURCE_DIR}/speech/wavPlay.h
      COMMENT "Building the WAV parser fuzzer")
    add_custom_target(fuzz_wav DEPENDS ${CMAKE_BINARY_DIR}/fuzz/fuzz_wav)
  endif()
endif()
