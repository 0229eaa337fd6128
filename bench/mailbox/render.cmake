add_executable(bench_render render_bench.cpp)
target_link_libraries(bench_render PRIVATE mailbox)
target_compile_definitions(bench_render PRIVATE PWX_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
