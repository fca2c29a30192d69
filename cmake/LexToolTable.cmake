# The one table of the suite's tool programs. Everything that needs to know the tools reads it:
# each tool's build (lex_add_tool), the data build, the install layout, the launcher (a
# generated header), lexcli's table and the tests. Adding a tool is one line here plus its
# folder under src/.
#
#   lex_tool(<program> FOLDER <install folder> CAPTION <launcher button> COMMAND <button id>
#            BUTTON <position in the launcher, 1-9> [PATH_SUFFIX <text>] [DATA <file>...])
#
# Rows stand in the order of the suite's subsystems; BUTTON orders the launcher (left column
# top to bottom, then the right column, then the ninth centred below them). PATH_SUFFIX is
# appended to the launcher's relative path as it stands. DATA lists the files the data build puts beside the program.
include_guard(GLOBAL)
include(LexHelpers)

lex_tool(pintop    FOLDER pintop            CAPTION "词库固顶" COMMAND 1006 BUTTON 4 DATA dz.lxd)
lex_tool(phonetag  FOLDER phonetag          CAPTION "词库注音" COMMAND 1010 BUTTON 5
         DATA dz.txt zn.lxd lw.txt dy.txt cp.txt)
lex_tool(lexsift   FOLDER lexsift           CAPTION "词库筛选" COMMAND 1008 BUTTON 3)
lex_tool(bigseg    FOLDER bigseg            CAPTION "bigseg"   COMMAND 1005 BUTTON 1
         DATA ciku.lxd bc.ini)
lex_tool(lexsort   FOLDER lexsort           CAPTION "词库排序" COMMAND 1007 BUTTON 8)
lex_tool(freqtune  FOLDER "Quillo词库调频"  CAPTION "调频"     COMMAND 1011 BUTTON 2
         PATH_SUFFIX " " DATA freqtune.mmm dz.txt zn.lxd)
lex_tool(lexmerge  FOLDER lexmerge          CAPTION "词库整理" COMMAND 1009 BUTTON 7)
lex_tool(lexupdate FOLDER "Quillo词库更新"  CAPTION "词库更新" COMMAND 1012 BUTTON 6
         PATH_SUFFIX " ")
lex_tool(lexconv   FOLDER lexconv           CAPTION "词库转换" COMMAND 1013 BUTTON 9
         DATA dz.txt zn.lxd)
lex_tool(lexcheck  FOLDER lexcheck          CAPTION "词库检查" COMMAND 1015 BUTTON 10
         DATA dz.lxd dz.txt zn.lxd dy.txt cp.txt ft.txt)
