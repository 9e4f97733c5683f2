# Tests: unit tables over plain functions, the worker through its record, and whole
# jobs through ulvane-cli judged by ffprobe and ffmpeg.
find_package(GTest REQUIRED)
include(GoogleTest)

add_library(ulvane_test_support STATIC tests/support/media_tools.cpp)
target_include_directories(ulvane_test_support PUBLIC ${CMAKE_SOURCE_DIR})
target_link_libraries(ulvane_test_support PUBLIC GTest::gtest)
target_compile_definitions(ulvane_test_support
  PRIVATE ULVANE_CLI_PATH="$<TARGET_FILE:ulvane-cli>"
  PUBLIC ULVANE_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
target_compile_options(ulvane_test_support PRIVATE ${ULVANE_WARNINGS})

function(ulvane_test name)
  add_executable(${name} ${ARGN})
  target_link_libraries(${name} PRIVATE ulvane_test_support ulvane_engine ulvane_core GTest::gtest_main)
  target_compile_options(${name} PRIVATE ${ULVANE_WARNINGS})
  add_dependencies(${name} ulvane-cli)
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 600)
endfunction()

ulvane_test(ulvane_unit_tests
  tests/unit/time_text_test.cpp
  tests/unit/output_presets_test.cpp
  tests/unit/output_naming_test.cpp
  tests/unit/time_base_test.cpp
  tests/unit/ini_file_test.cpp
  tests/unit/settings_store_test.cpp
  tests/unit/language_table_test.cpp)
target_include_directories(ulvane_unit_tests SYSTEM PRIVATE ${FFMPEG_INCLUDE_DIRS})

ulvane_test(ulvane_engine_tests
  tests/engine/run_conversion_test.cpp
  tests/engine/robustness_test.cpp
  tests/engine/job_monitor_test.cpp)

ulvane_test(ulvane_cli_tests
  tests/cli/cut_test.cpp
  tests/cli/join_test.cpp
  tests/cli/bad_input_test.cpp
  tests/cli/real_media_test.cpp
  tests/cli/probe_grab_test.cpp)

# Widget tests run on Qt's offscreen platform; their main creates the QApplication.
find_package(Qt6 REQUIRED COMPONENTS Test)
add_executable(ulvane_controls_tests
  tests/controls/controls_main.cpp
  tests/controls/bitmap_slider_test.cpp
  tests/controls/control_button_test.cpp
  tests/controls/check_list_test.cpp
  tests/controls/link_label_test.cpp
  tests/controls/images_test.cpp)
target_link_libraries(ulvane_controls_tests PRIVATE ulvane_controls ulvane_test_support Qt6::Test GTest::gtest)
target_compile_options(ulvane_controls_tests PRIVATE ${ULVANE_WARNINGS})
gtest_discover_tests(ulvane_controls_tests DISCOVERY_TIMEOUT 60
  PROPERTIES TIMEOUT 300 ENVIRONMENT "QT_QPA_PLATFORM=offscreen")

add_executable(ulvane_ui_tests tests/controls/controls_main.cpp tests/ui/main_window_test.cpp tests/ui/jobs_test.cpp)
target_link_libraries(ulvane_ui_tests PRIVATE ulvane_ui ulvane_test_support Qt6::Test GTest::gtest)
target_compile_options(ulvane_ui_tests PRIVATE ${ULVANE_WARNINGS})
gtest_discover_tests(ulvane_ui_tests DISCOVERY_TIMEOUT 60
  PROPERTIES TIMEOUT 300 ENVIRONMENT "QT_QPA_PLATFORM=offscreen")

# Not a test: the screenshot taker that scripts/screenshots.sh runs under Xvfb.
add_executable(ulvane-screenshots tests/ui/screenshots.cpp)
target_link_libraries(ulvane-screenshots PRIVATE ulvane_ui Qt6::Test)
target_compile_options(ulvane-screenshots PRIVATE ${ULVANE_WARNINGS})
