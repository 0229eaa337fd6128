# The browser control: what the program asks of it and the recording
# stand-in (platform_browser, no engine), and the control over Qt WebEngine
# (platform_browser_web), which only the windows link.
add_library(platform_browser STATIC ${CMAKE_CURRENT_SOURCE_DIR}/browser/browser.cpp)
target_include_directories(platform_browser PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(platform_browser PUBLIC platform)

find_package(Qt6 REQUIRED COMPONENTS WebEngineWidgets PrintSupport)
add_library(platform_browser_web STATIC ${CMAKE_CURRENT_SOURCE_DIR}/browser/webbrowser.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/browser/pagesetup.cpp)
target_include_directories(platform_browser_web PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(platform_browser_web PUBLIC platform_browser Qt6::Widgets PRIVATE Qt6::WebEngineWidgets Qt6::PrintSupport)
