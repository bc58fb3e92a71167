# The engine's text-to-phoneme-lines tool, for tests and benches.
add_executable(textpho ${CMAKE_CURRENT_LIST_DIR}/textpho.cpp)
target_link_libraries(textpho PRIVATE tts)
target_compile_definitions(textpho PRIVATE TEXTPHO_DEFAULT_DIR="${QUIRAL_BUILD_ROOT}/coraltts")
