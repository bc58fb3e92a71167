# Key to silence: how long recorded speech goes on after a key, through the
# real player and the SDL output (SDL's disk driver stands for a sound card):
#   build/bench/key_silence [TRIALS]
add_executable(key_silence ${CMAKE_CURRENT_LIST_DIR}/key_silence.cpp)
target_link_libraries(key_silence PRIVATE platform console speech)
