# lumenveil_add_test(<name> SOURCES <files...> LIBRARIES <targets...> [TIMEOUT <seconds>])
# One Qt Test executable per unit, registered with CTest under <name>. Every test runs on the
# offscreen platform (no display needed, no window waits for a user) with a time-out, so a stray
# modal dialog fails the test instead of hanging the suite. LUMENVEIL_CLI names lumenveil-cli.
function(lumenveil_add_test name)
    cmake_parse_arguments(ARG "" "TIMEOUT" "SOURCES;LIBRARIES" ${ARGN})
    if(NOT ARG_TIMEOUT)
        set(ARG_TIMEOUT 120)
    endif()
    qt_add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE ${ARG_LIBRARIES} Qt6::Test lumenveil::options)
    target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR} ${PROJECT_SOURCE_DIR}/tests)
    target_compile_definitions(${name} PRIVATE
        LUMENVEIL_TESTDATA_DIR="${LUMENVEIL_TESTDATA_DIR}"
        LUMENVEIL_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
    add_test(NAME ${name} COMMAND ${name})
    set_tests_properties(${name} PROPERTIES
        TIMEOUT ${ARG_TIMEOUT}
        ENVIRONMENT "QT_QPA_PLATFORM=offscreen;LUMENVEIL_CLI=$<TARGET_FILE:lumenveil-cli>")
endfunction()
