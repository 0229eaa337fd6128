# The DNS response decoder's target; its seed corpus is tests/data/dns/corpus.
add_executable(fuzz_dns_response dns_response.cpp ${CODEC_FUZZ_ROOT}/mail/dnsquery_msg.cpp)
target_include_directories(fuzz_dns_response PRIVATE ${CODEC_FUZZ_ROOT})
target_compile_options(fuzz_dns_response PRIVATE ${SANITIZE} -fsanitize=fuzzer-no-link)
target_link_options(fuzz_dns_response PRIVATE ${SANITIZE} -fsanitize=fuzzer)
