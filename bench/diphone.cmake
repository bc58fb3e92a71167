# Coverage and speed figures of the syllable-unit synthesiser; run it after a
# build that generated the unit database: build/bench/diphone_bench
add_executable(diphone_bench ${CMAKE_CURRENT_LIST_DIR}/diphone_bench.cpp)
target_link_libraries(diphone_bench PRIVATE console)
target_compile_definitions(diphone_bench PRIVATE QUIRAL_BUILD_ROOT="${QUIRAL_BUILD_ROOT}")
