# Removes what the last install of a component put down, as its install manifest lists it:
#   [DESTDIR=<dir>] cmake -DMANIFEST=<build>/install_manifest_system.txt -P uninstall.cmake
# The manifest lists the paths without DESTDIR, so the install's DESTDIR is given again.
# Files and links go; so do the folders that are the suite's own (a path component
# "quillo-lexicon-tools") once they are empty. Shared folders (bin/, share/applications/, the
# icon theme's) stay, as other packages use them.
if(NOT EXISTS "${MANIFEST}")
    message(FATAL_ERROR "nothing to uninstall: ${MANIFEST} not found (install first)")
endif()
file(STRINGS "${MANIFEST}" listed ENCODING UTF-8)
set(folders)
foreach(path IN LISTS listed)
    set(path "$ENV{DESTDIR}${path}")
    if(IS_SYMLINK "${path}" OR EXISTS "${path}")
        message(STATUS "Removing: ${path}")
        file(REMOVE "${path}")
    endif()
    get_filename_component(dir "${path}" DIRECTORY)
    while(dir MATCHES "/quillo-lexicon-tools(/|$)")
        list(APPEND folders "${dir}")
        get_filename_component(dir "${dir}" DIRECTORY)
    endwhile()
endforeach()
# Deepest first, so that a folder is empty by the time it comes.
list(REMOVE_DUPLICATES folders)
list(SORT folders ORDER DESCENDING)
foreach(dir IN LISTS folders)
    file(GLOB left "${dir}/*" "${dir}/.*")
    if(IS_DIRECTORY "${dir}" AND NOT left)
        file(REMOVE "${dir}")
        execute_process(COMMAND rmdir "${dir}")
    endif()
endforeach()
file(REMOVE "${MANIFEST}")
