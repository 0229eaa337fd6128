# The voice object over espeak-ng.
find_package(PkgConfig REQUIRED)
pkg_check_modules(ESPEAK_NG REQUIRED IMPORTED_TARGET espeak-ng)
add_library(platform_speech STATIC ${CMAKE_CURRENT_SOURCE_DIR}/speech/speech.cpp)
target_include_directories(platform_speech PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(platform_speech PUBLIC platform_rtl PRIVATE PkgConfig::ESPEAK_NG)
