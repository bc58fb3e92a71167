# Window console figures (repaint, key latency); run bench/window_bench.sh,
# which starts a private virtual display and also measures idle processor use.
add_executable(window_bench ${CMAKE_CURRENT_LIST_DIR}/window_bench.cpp)
pkg_check_modules(BENCH_X11 REQUIRED IMPORTED_TARGET x11)
target_link_libraries(window_bench PRIVATE platform console PkgConfig::BENCH_X11 ${CMAKE_DL_LIBS})
