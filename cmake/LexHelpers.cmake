# Shared build helpers: warnings, sanitizers, tool programs and tests.
include_guard(GLOBAL)
include(CMakeParseArguments)

add_library(lex_options INTERFACE)
add_library(Lex::options ALIAS lex_options)
target_compile_options(lex_options INTERFACE -Wall -Wextra -Wno-missing-field-initializers)
if(LEX_WERROR)
    target_compile_options(lex_options INTERFACE -Werror)
endif()
# GCC 12 reports impossible overlaps in std::basic_string concatenation at -O2 (a known false
# positive of -Wrestrict inside libstdc++).
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
    target_compile_options(lex_options INTERFACE -Wno-restrict)
endif()
if(LEX_SANITIZE)
    target_compile_options(lex_options INTERFACE -fsanitize=address,undefined
                                                 -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
    target_link_options(lex_options INTERFACE -fsanitize=address,undefined)
endif()

set(LEX_SANITIZER_ENV
    "ASAN_OPTIONS=detect_leaks=1:abort_on_error=0:detect_stack_use_after_return=0"
    "LSAN_OPTIONS=suppressions=${CMAKE_CURRENT_LIST_DIR}/lsan.supp:print_suppressions=0"
    "UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1")

# lex_add_tool(NAME <program> DIR <install folder> SOURCES ... LIBS ... DATA ...)
# Builds a windowed tool program and installs it, with its read.me and data files, into
# <prefix>/<install folder>/. The build tree mirrors that layout under ${CMAKE_BINARY_DIR}/suite.
function(lex_add_tool)
    cmake_parse_arguments(T "" "NAME;DIR" "SOURCES;LIBS;DATA" ${ARGN})
    add_executable(${T_NAME} ${T_SOURCES})
    target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} Lex::options)
    set_target_properties(${T_NAME} PROPERTIES
        AUTOMOC ON
        RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/suite/${T_DIR})
    install(TARGETS ${T_NAME} RUNTIME DESTINATION ${T_DIR})
    if(T_DATA)
        install(FILES ${T_DATA} DESTINATION ${T_DIR})
        file(COPY ${T_DATA} DESTINATION ${CMAKE_BINARY_DIR}/suite/${T_DIR})
    endif()
endfunction()

# lex_add_test(NAME <test> SOURCES ... LIBS ... [QT])
# A GoogleTest executable (or, with QT, a Qt Test executable run on the offscreen platform).
function(lex_add_test)
    cmake_parse_arguments(T "QT" "NAME" "SOURCES;LIBS;ENV" ${ARGN})
    add_executable(${T_NAME} ${T_SOURCES})
    target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} Lex::options Lex::testsupport)
    set(env ${LEX_SANITIZER_ENV} ${T_ENV})
    if(T_QT)
        set_target_properties(${T_NAME} PROPERTIES AUTOMOC ON)
        target_link_libraries(${T_NAME} PRIVATE Qt6::Test)
        list(APPEND env "QT_QPA_PLATFORM=offscreen")
    else()
        target_link_libraries(${T_NAME} PRIVATE GTest::gtest_main)
    endif()
    add_test(NAME ${T_NAME} COMMAND ${T_NAME})
    set_tests_properties(${T_NAME} PROPERTIES ENVIRONMENT "${env}" TIMEOUT 600)
endfunction()
