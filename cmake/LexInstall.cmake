# The two install layouts of the suite, one install component each, from the same build:
#   dist    the flat tree `make run` starts: <prefix>/toolbox, <prefix>/lexcli,
#           <prefix>/<folder>/<program> with its read.me and data files beside it;
#   system  the GNU layout: bin/lexcli, bin/quillo-toolbox and bin/quillo-corpus (links),
#           the programs and their folders in lib/quillo-lexicon-tools/, the shipped data in
#           share/quillo-lexicon-tools/<folder>/ (linked from each program's folder, so that a
#           program finds its files beside itself in either layout), desktop entries, icons,
#           metainfo, the man page and the bash completion.
# LEX_INSTALL_LAYOUT names the layout a plain `cmake --install` lays out; the other one is
# installed only when asked for by name (`cmake --install <build> --component dist`).
# Every link is relative, so an installed tree can be moved as a whole.
include_guard(GLOBAL)
include(CMakeParseArguments)
include(GNUInstallDirs)

set(LEX_INSTALL_LAYOUT "system" CACHE STRING "What a plain cmake --install lays out: system or dist")
set_property(CACHE LEX_INSTALL_LAYOUT PROPERTY STRINGS system dist)
if(NOT LEX_INSTALL_LAYOUT MATCHES "^(system|dist)$")
    message(FATAL_ERROR "LEX_INSTALL_LAYOUT is system or dist, not ${LEX_INSTALL_LAYOUT}")
endif()

set(LEX_PACKAGE quillo-lexicon-tools)
# Folders made by the install are rwxr-xr-x whatever the umask.
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE
    GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
# Private programs: not on PATH, and the same for every architecture's prefix (no multiarch).
set(LEX_INSTALL_PKGLIBDIR "lib/${LEX_PACKAGE}")
set(LEX_INSTALL_PKGDATADIR "${CMAKE_INSTALL_DATADIR}/${LEX_PACKAGE}")
# The programs' folder as seen from bin/, compiled into lexcli (a copy of it in bin/ finds the
# suite there).
cmake_path(RELATIVE_PATH LEX_INSTALL_PKGLIBDIR BASE_DIRECTORY "${CMAKE_INSTALL_BINDIR}"
           OUTPUT_VARIABLE LEX_BIN_TO_PKGLIBDIR)

if(LEX_INSTALL_LAYOUT STREQUAL "system")
    set(LEX_DIST_EXCLUDE EXCLUDE_FROM_ALL)
    set(LEX_SYSTEM_EXCLUDE)
else()
    set(LEX_DIST_EXCLUDE)
    set(LEX_SYSTEM_EXCLUDE EXCLUDE_FROM_ALL)
endif()

set(LEX_LINK_DIR ${CMAKE_BINARY_DIR}/install-links)

# "<dir>/<name>"; the folder "." is the top folder.
function(lex_install_join out dir name)
    if(name STREQUAL ".")
        set(${out} "${dir}" PARENT_SCOPE)
    elseif(dir STREQUAL "." OR dir STREQUAL "")
        set(${out} "${name}" PARENT_SCOPE)
    else()
        set(${out} "${dir}/${name}" PARENT_SCOPE)
    endif()
endfunction()

# lex_install_link(<link, relative to the prefix> <target, relative to the prefix>)
# A relative symbolic link of the system layout. It is made in the build tree and installed
# like a file, so that the install manifest lists it and `make uninstall` removes it.
function(lex_install_link link target)
    get_filename_component(link_dir "${link}" DIRECTORY)
    get_filename_component(link_name "${link}" NAME)
    cmake_path(RELATIVE_PATH target BASE_DIRECTORY "${link_dir}" OUTPUT_VARIABLE relative)
    set(built "${LEX_LINK_DIR}/${link}")
    get_filename_component(built_dir "${built}" DIRECTORY)
    file(MAKE_DIRECTORY "${built_dir}")
    file(CREATE_LINK "${relative}" "${built}" SYMBOLIC)
    install(FILES "${built}" DESTINATION "${link_dir}" COMPONENT system ${LEX_SYSTEM_EXCLUDE})
endfunction()

# lex_install_program(<target> FOLDER <folder below the launcher> [PROGRAMS] [BIN <name>])
# A program of the suite (or, with PROGRAMS, a script file) in its folder of either layout;
# BIN adds a link to it in bin/ of the system layout.
function(lex_install_program target)
    cmake_parse_arguments(P "PROGRAMS" "FOLDER;BIN" "" ${ARGN})
    lex_install_join(system_dir "${LEX_INSTALL_PKGLIBDIR}" "${P_FOLDER}")
    if(P_PROGRAMS)
        set(kind PROGRAMS ${target})
        get_filename_component(name "${target}" NAME)
    else()
        set(kind TARGETS ${target} RUNTIME)
        get_target_property(name ${target} OUTPUT_NAME)
        if(NOT name)
            set(name ${target})
        endif()
    endif()
    install(${kind} DESTINATION "${P_FOLDER}" COMPONENT dist ${LEX_DIST_EXCLUDE})
    install(${kind} DESTINATION "${system_dir}" COMPONENT system ${LEX_SYSTEM_EXCLUDE})
    if(P_BIN)
        lex_install_link("${CMAKE_INSTALL_BINDIR}/${P_BIN}" "${system_dir}/${name}")
    endif()
endfunction()

# lex_install_data(FOLDER <folder below the launcher> FILES <files>...)
# Files shipped beside a program: in its folder in the dist layout; in share/ in the system
# layout, with a link of the same name in the program's folder.
function(lex_install_data)
    cmake_parse_arguments(D "" "FOLDER" "FILES" ${ARGN})
    install(FILES ${D_FILES} DESTINATION "${D_FOLDER}" COMPONENT dist ${LEX_DIST_EXCLUDE})
    set(share_dir "${LEX_INSTALL_PKGDATADIR}/${D_FOLDER}")
    install(FILES ${D_FILES} DESTINATION "${share_dir}" COMPONENT system ${LEX_SYSTEM_EXCLUDE})
    foreach(file IN LISTS D_FILES)
        get_filename_component(name "${file}" NAME)
        lex_install_link("${LEX_INSTALL_PKGLIBDIR}/${D_FOLDER}/${name}" "${share_dir}/${name}")
    endforeach()
endfunction()

# lex_install_system(<install() arguments without DESTINATION> DESTINATION <dir>)
# Something only the system layout has (man page, completion, metainfo, icons).
macro(lex_install_system)
    install(${ARGN} COMPONENT system ${LEX_SYSTEM_EXCLUDE})
endmacro()
