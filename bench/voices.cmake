# Latency of the system voices (eSpeak NG, Speech Dispatcher with a private
# daemon) and of a key silencing them: build/bench/voices_bench [rounds]
add_executable(voices_bench ${CMAKE_CURRENT_LIST_DIR}/voices_bench.cpp)
target_link_libraries(voices_bench PRIVATE platform console speech)
target_include_directories(voices_bench PRIVATE ${CMAKE_SOURCE_DIR})
target_compile_definitions(voices_bench PRIVATE QUIRAL_BUILD_ROOT="${QUIRAL_BUILD_ROOT}")
