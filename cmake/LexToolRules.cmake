# The rules of the tool table that need no build: a row of the table, reading a row back, and
# the guard that keeps tools peers. Usable from a script (cmake -P) as well as from the build.
include_guard(GLOBAL)
include(CMakeParseArguments)

# lex_tool(<program> FOLDER .. CAPTION .. COMMAND .. BUTTON .. [PATH_SUFFIX ..] [DATA ..]
#          [NAME <English name>] [NAME_ZH ..] [COMMENT <English line>] [COMMENT_ZH ..])
# One row of the tool table (LexToolTable.cmake); lex_tool_get() reads a field back. The
# names and comments are those of the tool's desktop entry; without them the entry says
# "Quillo <program>" and the caption.
function(lex_tool name)
    cmake_parse_arguments(T "" "FOLDER;CAPTION;COMMAND;BUTTON;PATH_SUFFIX;NAME;NAME_ZH;COMMENT;COMMENT_ZH"
                          "DATA" ${ARGN})
    foreach(field FOLDER CAPTION COMMAND BUTTON)
        if(NOT DEFINED T_${field})
            message(FATAL_ERROR "lex_tool(${name}): ${field} missing")
        endif()
    endforeach()
    set_property(GLOBAL APPEND PROPERTY LEX_TOOLS ${name})
    # The desktop texts a row leaves out, in order: a later one may use an earlier one.
    foreach(default "NAME=Quillo {program}" "NAME_ZH={CAPTION}"
                    "COMMENT={NAME}, a tool of the Quillo lexicon tools"
                    "COMMENT_ZH=Quillo 词库工具：{NAME_ZH}")
        string(REGEX MATCH "^[A-Z_]+" field "${default}")
        if(NOT DEFINED T_${field})
            string(LENGTH "${field}=" skip)
            string(SUBSTRING "${default}" ${skip} -1 value)
            string(REPLACE "{program}" "${name}" value "${value}")
            foreach(known CAPTION NAME NAME_ZH)
                string(REPLACE "{${known}}" "${T_${known}}" value "${value}")
            endforeach()
            set(T_${field} "${value}")
        endif()
    endforeach()
    foreach(field FOLDER CAPTION COMMAND BUTTON PATH_SUFFIX DATA NAME NAME_ZH COMMENT COMMENT_ZH)
        set_property(GLOBAL PROPERTY LEX_TOOL_${name}_${field} "${T_${field}}")
    endforeach()
endfunction()

function(lex_tool_get name field out)
    get_property(known GLOBAL PROPERTY LEX_TOOL_${name}_FOLDER SET)
    if(NOT known)
        message(FATAL_ERROR "${name} is not in the tool table (cmake/LexToolTable.cmake)")
    endif()
    get_property(value GLOBAL PROPERTY LEX_TOOL_${name}_${field})
    set(${out} "${value}" PARENT_SCOPE)
endfunction()

# lex_check_tool_peers(<program> LIBS <libs> FILES <files>)
# Fails the configuration when <program> links another tool's library (Lex::<tool>,
# Lex::<tool>_forms, lex_<tool>) or when one of FILES includes a header of another tool's
# folder ("<tool>/...").
function(lex_check_tool_peers name)
    cmake_parse_arguments(T "" "" "LIBS;FILES" ${ARGN})
    get_property(tools GLOBAL PROPERTY LEX_TOOLS)
    list(REMOVE_ITEM tools ${name})
    foreach(lib IN LISTS T_LIBS)
        foreach(other IN LISTS tools)
            if(lib MATCHES "^(Lex::|lex_)${other}(_forms)?$")
                message(FATAL_ERROR "${name}: links ${lib}, the library of the tool ${other}; "
                                    "tools are peers (move what they share to src/shared)")
            endif()
        endforeach()
    endforeach()
    string(JOIN "|" alternatives ${tools})
    foreach(file IN LISTS T_FILES)
        if(NOT EXISTS ${file})
            continue()
        endif()
        file(STRINGS ${file} includes REGEX "^[ \t]*#[ \t]*include[ \t]*\"(${alternatives})/")
        foreach(line IN LISTS includes)
            string(STRIP "${line}" line)
            message(FATAL_ERROR "${name}: ${file} has ${line}, a header of another tool; "
                                "tools are peers (move what they share to src/shared)")
        endforeach()
    endforeach()
endfunction()

