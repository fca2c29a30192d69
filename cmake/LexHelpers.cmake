# Shared build helpers: warnings, sanitizers, tool programs and tests.
include_guard(GLOBAL)
include(CMakeParseArguments)
include(LexToolRules)
include(LexInstall)

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

# lex_add_tool(<program> [ENGINE <sources>] [ENGINE_LIBS <libs>] FORMS <sources>)
# Called from src/<program>/CMakeLists.txt. Builds
#   Lex::<program>        the engine: Qt-free, links Lex::core (and ENGINE_LIBS, never Qt);
#                         without sources of its own, an interface over ENGINE_LIBS;
#   Lex::<program>_forms  the forms over it and toolshell;
#   <program>             the program from main.cpp, installed into the table's folder.
# Every tool has its lexcli commands in src/lexcli/<program>_cli.cpp; a missing file is an
# error, not a tool quietly left out of lexcli. Tools are peers over src/shared: a tool that
# links another tool's library, or whose sources (or lexcli file) include another tool's
# headers, is refused (lex_check_tool_peers).
function(lex_add_tool name)
    cmake_parse_arguments(T "" "" "ENGINE;ENGINE_LIBS;FORMS" ${ARGN})
    lex_tool_get(${name} FOLDER folder)
    set(cli ${PROJECT_SOURCE_DIR}/src/lexcli/${name}_cli.cpp)
    if(NOT EXISTS ${cli})
        message(FATAL_ERROR "${name}: its lexcli commands (src/lexcli/${name}_cli.cpp) are missing")
    endif()
    foreach(lib IN LISTS T_ENGINE_LIBS)
        if(lib MATCHES "^Qt" OR lib MATCHES "toolshell")
            message(FATAL_ERROR "${name}: the engine must not link ${lib}")
        endif()
    endforeach()
    set(sources ${T_ENGINE} ${T_FORMS} main.cpp)
    list(TRANSFORM sources PREPEND ${CMAKE_CURRENT_SOURCE_DIR}/)
    file(GLOB headers ${CMAKE_CURRENT_SOURCE_DIR}/*.h ${CMAKE_CURRENT_SOURCE_DIR}/forms/*.h)
    lex_check_tool_peers(${name} LIBS ${T_ENGINE_LIBS} FILES ${sources} ${headers} ${cli})

    if(T_ENGINE)
        add_library(lex_${name} STATIC ${T_ENGINE})
        target_link_libraries(lex_${name} PUBLIC Lex::core ${T_ENGINE_LIBS} PRIVATE Lex::options)
    else()
        add_library(lex_${name} INTERFACE)
        target_link_libraries(lex_${name} INTERFACE Lex::core ${T_ENGINE_LIBS})
    endif()
    add_library(Lex::${name} ALIAS lex_${name})

    add_library(lex_${name}_forms STATIC ${T_FORMS})
    add_library(Lex::${name}_forms ALIAS lex_${name}_forms)
    set_target_properties(lex_${name}_forms PROPERTIES AUTOMOC ON)
    target_link_libraries(lex_${name}_forms PUBLIC Lex::${name} Lex::toolshell PRIVATE Lex::options)

    add_executable(${name} main.cpp)
    target_link_libraries(${name} PRIVATE Lex::${name}_forms Lex::options)
    set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY "${CMAKE_BINARY_DIR}/suite/${folder}")
    lex_install_program(${name} FOLDER "${folder}")
    set_property(GLOBAL APPEND PROPERTY LEX_BUILT_TOOLS ${name})
endfunction()

# lex_generate_tool_header(<output>): the tool table as a C++ header, rows in launcher order:
#   struct ToolInfo { name, folder, caption, command, launchPath, data files, built };
# Read by the launcher and the tests (Qt-free; the strings are UTF-8 except the char16_t ones).
function(lex_generate_tool_header out)
    get_property(tools GLOBAL PROPERTY LEX_TOOLS)
    get_property(built GLOBAL PROPERTY LEX_BUILT_TOOLS)
    set(keyed)
    foreach(tool IN LISTS tools)
        lex_tool_get(${tool} BUTTON button)
        list(APPEND keyed "${button}|${tool}")
    endforeach()
    list(SORT keyed COMPARE NATURAL)
    set(rows "")
    foreach(entry IN LISTS keyed)
        string(REGEX REPLACE "^[0-9]+\\|" "" tool "${entry}")
        lex_tool_get(${tool} FOLDER folder)
        lex_tool_get(${tool} CAPTION caption)
        lex_tool_get(${tool} COMMAND command)
        lex_tool_get(${tool} PATH_SUFFIX suffix)
        lex_tool_get(${tool} DATA data)
        set(files "")
        foreach(f IN LISTS data)
            string(APPEND files "\"${f}\", ")
        endforeach()
        if(tool IN_LIST built)
            set(is_built true)
        else()
            set(is_built false)
        endif()
        string(APPEND rows "    {\"${tool}\", u8\"${folder}\", u\"${caption}\", ${command}, "
                           "u\"${folder}/${tool}${suffix}\", {${files}}, ${is_built}},\n")
    endforeach()
    list(LENGTH tools count)
    file(CONFIGURE OUTPUT ${out} CONTENT [=[
// Generated from cmake/LexToolTable.cmake; do not edit.
#pragma once

#include <array>
#include <initializer_list>
#include <string_view>
#include <vector>

namespace lex::tools {

struct ToolInfo {
    const char *name;         // the program
    const char8_t *folder;    // its install folder below the launcher
    const char16_t *caption;  // its launcher button
    int command;              // the button's command id
    const char16_t *launchPath; // relative to the launcher folder, used as it stands
    std::vector<std::string_view> dataFiles; // beside the program, besides read.me
    bool built;               // part of this build (else a placeholder program stands in)
};

// In launcher order: left column top to bottom, then the right column.
inline const std::array<ToolInfo, @count@> kTools{{
@rows@}};

} // namespace lex::tools
]=] @ONLY)
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
