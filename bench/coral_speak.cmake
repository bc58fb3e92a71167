# Figures of the built-in engine's shell with the project's synthesiser (not
# part of the tests): build/bench/coral_speak_bench [ROOT]
add_executable(coral_speak_bench EXCLUDE_FROM_ALL ${CMAKE_CURRENT_LIST_DIR}/coral_speak_bench.cpp)
target_link_libraries(coral_speak_bench PRIVATE platform)
target_compile_definitions(coral_speak_bench PRIVATE CORAL_BENCH_ROOT="${QUIRAL_BUILD_ROOT}")
add_dependencies(coral_speak_bench engine_data)
