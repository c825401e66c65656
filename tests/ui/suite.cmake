# The UI suite runs inside a test application object (tests/ui/app/test_app.h), made by its own test main.
# The test application is a library of its own so that later suites and the benchmarks reuse it.
find_package(Qt5 5.15 REQUIRED COMPONENTS Widgets Test)
add_library(akui_ui_test_app STATIC ${CMAKE_CURRENT_SOURCE_DIR}/ui/app/test_app.cpp
            ${CMAKE_CURRENT_SOURCE_DIR}/ui/app/test_app.h
            ${CMAKE_CURRENT_SOURCE_DIR}/ui/app/test_actions.cpp ${CMAKE_CURRENT_SOURCE_DIR}/ui/app/test_actions.h
            ${CMAKE_CURRENT_SOURCE_DIR}/ui/app/screenshots.cpp ${CMAKE_CURRENT_SOURCE_DIR}/ui/app/screenshots.h
            ${CMAKE_CURRENT_SOURCE_DIR}/ui/app/desktop_views.cpp ${CMAKE_CURRENT_SOURCE_DIR}/ui/app/desktop_views.h)
target_include_directories(akui_ui_test_app PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(akui_ui_test_app PUBLIC akui_ui GTest::gtest)
set_target_properties(akui_ui_test_app PROPERTIES AUTOMOC ON)

akui_test_suite(ui DEPS akui_ui akui_ui_test_app Qt5::Test)
set_target_properties(test_ui PROPERTIES AUTOMOC ON AUTORCC ON)
# The accessibility tests switch the platform's accessibility on, which only Qt's private platform API can do.
target_link_libraries(test_ui PRIVATE Qt5::GuiPrivate)
# Seeded loops and stress tests run smaller under the sanitizers.
if(AKUI_SANITIZE)
  target_compile_definitions(test_ui PRIVATE AKUI_SANITIZE)
endif()
