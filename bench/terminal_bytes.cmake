# Bytes sent to the terminal per line that scrolls the screen, in terminal
# mode (with and without the terminal's own scrolling) and in linear mode:
#   build/bench/terminal_bytes
add_executable(terminal_bytes ${CMAKE_CURRENT_LIST_DIR}/terminal_bytes.cpp)
target_link_libraries(terminal_bytes PRIVATE platform console speech)
