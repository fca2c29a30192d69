# Runs at install time: writes a desktop entry with the absolute path of its installed program
# (the prefix may be chosen only now, with --prefix or DESTDIR). Set by the caller:
#   ENTRY_TEMPLATE  the entry with @ENTRY_...@ fields
#   ENTRY_FILE      its path below the prefix
#   ENTRY_PROGRAM   the program's path below the prefix
#   ENTRY_ICON_FILE the icon's path below the prefix, or ENTRY_ICON an icon name
#   ENTRY_NAME, ENTRY_NAME_ZH, ENTRY_GENERIC, ENTRY_GENERIC_ZH, ENTRY_COMMENT, ENTRY_COMMENT_ZH,
#   ENTRY_WM_CLASS  the texts and the window class
get_filename_component(prefix "${CMAKE_INSTALL_PREFIX}" ABSOLUTE)

# A desktop entry string value escapes "\"; an Exec argument is quoted, with " ` $ \ escaped
# inside the quotes, and "%" doubled.
function(desktop_string out value)
    string(REPLACE "\\" "\\\\" value "${value}")
    set(${out} "${value}" PARENT_SCOPE)
endfunction()
set(exec "${prefix}/${ENTRY_PROGRAM}")
string(REPLACE "\\" "\\\\" exec "${exec}")
string(REPLACE "\"" "\\\"" exec "${exec}")
string(REPLACE "`" "\\`" exec "${exec}")
string(REPLACE "$" "\\$" exec "${exec}")
string(REPLACE "%" "%%" exec "${exec}")
desktop_string(ENTRY_EXEC "\"${exec}\"")
if(DEFINED ENTRY_ICON_FILE)
    desktop_string(ENTRY_ICON "${prefix}/${ENTRY_ICON_FILE}")
endif()

set(entry "$ENV{DESTDIR}${prefix}/${ENTRY_FILE}")
message(STATUS "Installing: ${entry}")
configure_file("${ENTRY_TEMPLATE}" "${entry}" @ONLY)
# The manifest lists it as it lists every file, without DESTDIR, so that an uninstall removes it.
list(APPEND CMAKE_INSTALL_MANIFEST_FILES "${prefix}/${ENTRY_FILE}")
