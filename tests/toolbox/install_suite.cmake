# Installs the whole build, in the flat layout of dist/, into a fresh prefix for the layout check:
#   cmake -DBUILD_DIR=<build tree> -DPREFIX=<prefix> -P install_suite.cmake
file(REMOVE_RECURSE "${PREFIX}")
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --component dist --prefix "${PREFIX}"
                RESULT_VARIABLE result OUTPUT_QUIET)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "cmake --install failed (${result}); is the whole tree built?")
endif()
