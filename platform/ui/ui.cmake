# The windows and controls: a library of their own over Qt Widgets, so that
# headless code and its tests do not carry them. The prompter stays in the
# platform library, which headless code uses too.
find_package(Qt6 REQUIRED COMPONENTS Widgets PrintSupport)
file(GLOB PLATFORM_UI_SOURCES CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/ui/*.cpp)
list(REMOVE_ITEM PLATFORM_UI_SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/ui/prompter.cpp)
add_library(platform_ui STATIC ${PLATFORM_UI_SOURCES})
target_include_directories(platform_ui PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(platform_ui PUBLIC platform Qt6::Widgets PRIVATE Qt6::PrintSupport xcb)
