# Fuzz target for the FTP reply parsing, built only with clang (libFuzzer):
#   CXX=clang++ cmake -S . -B build-fuzz -DNAVIRO_GENERATE_DATA=OFF
#   cmake --build build-fuzz --target ftp_reply_fuzz
#   build-fuzz/tools/ftp_reply_fuzz -max_total_time=300
# Not part of the ordinary build or of CI.
if(CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
  add_executable(ftp_reply_fuzz EXCLUDE_FROM_ALL
    ${CMAKE_SOURCE_DIR}/tests/fuzz/ftp_reply_fuzz.cpp
    ${CMAKE_SOURCE_DIR}/ftp/ftpDlg.cpp ${CMAKE_SOURCE_DIR}/ftp/ftpRede.cpp
    ${CMAKE_SOURCE_DIR}/ftp/ftpmsg.cpp ${CMAKE_SOURCE_DIR}/ftp/ftpPort.cpp
    ${CMAKE_SOURCE_DIR}/ftp/ftpDir.cpp
    ${CMAKE_SOURCE_DIR}/base/cp1252.cpp)
  target_include_directories(ftp_reply_fuzz PRIVATE ${CMAKE_SOURCE_DIR})
  target_compile_options(ftp_reply_fuzz PRIVATE -fsanitize=fuzzer,address,undefined)
  target_link_options(ftp_reply_fuzz PRIVATE -fsanitize=fuzzer,address,undefined)
endif()
