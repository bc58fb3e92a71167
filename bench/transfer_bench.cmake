# Transfer throughput against a local server, beside curl, wget and a bare
# 8 KiB loop: python3 bench/transfer_bench.py --build <build dir> (installs
# vsftpd, curl and wget when missing; never run by CI).
add_executable(bare_transfer ${CMAKE_CURRENT_LIST_DIR}/bare_transfer.cpp)
