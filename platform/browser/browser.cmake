# The browser control: what the program asks of it, and the recording
# stand-in that serves until the control over the web engine lands.
file(GLOB PLATFORM_BROWSER_SOURCES CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/browser/*.cpp)
add_library(platform_browser STATIC ${PLATFORM_BROWSER_SOURCES})
target_include_directories(platform_browser PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(platform_browser PUBLIC platform)
