# kaldor_test(<name> SOURCES <files...> LIBS <targets...> [GUI])
# One GoogleTest executable, its cases found by CTest at test time. GUI tests run
# Qt on the offscreen platform so that they need no display.
function(kaldor_test name)
    cmake_parse_arguments(KT "GUI" "" "SOURCES;LIBS" ${ARGN})
    add_executable(${name} ${KT_SOURCES})
    target_link_libraries(${name} PRIVATE ${KT_LIBS} GTest::gtest GTest::gmock)
    if(NOT KT_GUI)
        target_link_libraries(${name} PRIVATE GTest::gtest_main)
    endif()
    set(env "QT_QPA_PLATFORM=offscreen"
            "KALDOR_TEST_DATA=${CMAKE_SOURCE_DIR}/tests/data"
            "LSAN_OPTIONS=suppressions=${CMAKE_SOURCE_DIR}/tests/lsan.supp:print_suppressions=0"
            "TSAN_OPTIONS=suppressions=${CMAKE_SOURCE_DIR}/tests/tsan.supp:halt_on_error=0:exitcode=66:second_deadlock_stack=1"
            "ASAN_OPTIONS=detect_leaks=1:abort_on_error=0"
            "UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1")
    # The environment comes through `cmake -E env` around the test (listing
    # included): an ENVIRONMENT test property would lose all its items but the
    # first on its way through test discovery.
    set_property(TARGET ${name} PROPERTY CROSSCOMPILING_EMULATOR ${CMAKE_COMMAND} -E env ${env})
    gtest_discover_tests(${name}
        DISCOVERY_MODE PRE_TEST
        DISCOVERY_TIMEOUT 60
        PROPERTIES TIMEOUT 300 LABELS ${name})
endfunction()

# kaldor_controls(<target> <module>.json...)
# An interface library <target> whose users include "controls/<module>.h": the
# control and menu numbers of every window of the module by equate, made from
# the declaration by kaldor-equates (tools/) whenever it changes. Procedures
# and tests name controls only through it, so a control inserted into a
# declaration moves the numbers of both, and a control the code names that the
# declaration lacks does not compile.
function(kaldor_controls target)
    set(dir ${CMAKE_BINARY_DIR}/generated)
    file(MAKE_DIRECTORY ${dir}/controls)
    set(headers)
    foreach(declaration ${ARGN})
        get_filename_component(path ${declaration} ABSOLUTE)
        get_filename_component(module ${declaration} NAME_WE)
        string(TOLOWER ${module} module)
        set(header ${dir}/controls/${module}.h)
        add_custom_command(OUTPUT ${header}
            COMMAND kaldor-equates ${path} ${header}
            DEPENDS kaldor-equates ${path}
            COMMENT "Control numbers of ${module}"
            VERBATIM)
        list(APPEND headers ${header})
    endforeach()
    add_custom_target(${target}_headers DEPENDS ${headers})
    add_library(${target} INTERFACE)
    target_include_directories(${target} INTERFACE ${dir})
    add_dependencies(${target} ${target}_headers)
endfunction()
