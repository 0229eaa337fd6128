add_executable(bench_render render_bench.cpp)
# The program's allocator settings, so the figures are the program's.
target_link_libraries(bench_render PRIVATE mailbox pelliwox_app)
target_compile_definitions(bench_render PRIVATE PWX_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
add_executable(bench_render_golden render_golden.cpp)
target_link_libraries(bench_render_golden PRIVATE mailbox)
target_compile_definitions(bench_render_golden PRIVATE PWX_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
