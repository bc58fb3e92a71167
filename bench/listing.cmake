# A directory of 100,000 entries: the time and memory of its listing table
# (LIST and MLSD lines), and of the whole D command against a local fake
# server until the first entry is heard, then End and the place in the list:
#   build/bench/listing_bench [ENTRIES]
add_executable(listing_bench EXCLUDE_FROM_ALL ${CMAKE_CURRENT_LIST_DIR}/listing_bench.cpp)
target_include_directories(listing_bench PRIVATE ${CMAKE_SOURCE_DIR}/tests/ftp)
target_link_libraries(listing_bench PRIVATE ftp_ui platform)
