# Runs at install time: writes share/applications/quillo-toolbox.desktop with the absolute
# paths of the installed launcher and icon (the prefix may be chosen only now, with --prefix).
get_filename_component(prefix "${CMAKE_INSTALL_PREFIX}" ABSOLUTE)

# A desktop entry string value escapes "\"; an Exec argument is quoted, with " ` $ \ escaped
# inside the quotes, and "%" doubled.
function(desktop_string out value)
    string(REPLACE "\\" "\\\\" value "${value}")
    set(${out} "${value}" PARENT_SCOPE)
endfunction()
set(exec "${prefix}/toolbox")
string(REPLACE "\\" "\\\\" exec "${exec}")
string(REPLACE "\"" "\\\"" exec "${exec}")
string(REPLACE "`" "\\`" exec "${exec}")
string(REPLACE "$" "\\$" exec "${exec}")
string(REPLACE "%" "%%" exec "${exec}")
desktop_string(TOOLBOX_EXEC "\"${exec}\"")
desktop_string(TOOLBOX_ICON "${prefix}/share/icons/hicolor/scalable/apps/quillo-toolbox.svg")

set(entry "$ENV{DESTDIR}${prefix}/share/applications/quillo-toolbox.desktop")
message(STATUS "Installing: ${entry}")
configure_file("${TOOLBOX_DESKTOP_IN}" "${entry}" @ONLY)
