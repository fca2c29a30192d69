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
# NAME, NAME_ZH, COMMENT and COMMENT_ZH are the desktop entry's (optional).
include_guard(GLOBAL)
include(LexHelpers)

lex_tool(pintop    FOLDER pintop            CAPTION "词库固顶" COMMAND 1006 BUTTON 4 DATA dz.lxd
         NAME "Quillo Fixed-Top Lexicon" NAME_ZH "词库固顶"
         COMMENT "Make a fixed-top lexicon of initials codes; remove duplicate codes"
         COMMENT_ZH "由标准词库生成固顶词库，去除重复编码")
lex_tool(phonetag  FOLDER phonetag          CAPTION "词库注音" COMMAND 1010 BUTTON 5
         DATA dz.txt zn.lxd lw.txt dy.txt cp.txt
         NAME "Quillo Lexicon Annotation" NAME_ZH "词库注音"
         COMMENT "Annotate lexicon words with pinyin, correct and clear readings"
         COMMENT_ZH "为词库的词条自动注音、修正注音、清除拼音")
lex_tool(lexsift   FOLDER lexsift           CAPTION "词库筛选" COMMAND 1008 BUTTON 3
         NAME "Quillo Lexicon Filter" NAME_ZH "词库筛选"
         COMMENT "Filter a lexicon by an article, words, length or character set"
         COMMENT_ZH "按文章、词语、词长或字符集筛选词库")
lex_tool(bigseg    FOLDER bigseg            CAPTION "bigseg"   COMMAND 1005 BUTTON 1
         DATA ciku.lxd bc.ini
         NAME "Quillo bigseg Segmenter" NAME_ZH "bigseg 分词"
         COMMENT "Segment articles into words and count them"
         COMMENT_ZH "对文章分词并统计词频")
lex_tool(lexsort   FOLDER lexsort           CAPTION "词库排序" COMMAND 1007 BUTTON 8
         NAME "Quillo Lexicon Sorter" NAME_ZH "词库排序"
         COMMENT "Sort a lexicon by length, stroke, pinyin or another lexicon"
         COMMENT_ZH "按词长、笔画、拼音或其它词库给词库排序")
lex_tool(freqtune  FOLDER "Quillo词库调频"  CAPTION "调频"     COMMAND 1011 BUTTON 2
         PATH_SUFFIX " " DATA freqtune.mmm dz.txt zn.lxd
         NAME "Quillo Frequency Tuning" NAME_ZH "词库调频"
         COMMENT "Re-rank a lexicon by word counts of articles"
         COMMENT_ZH "按文章的词频给词库调频")
lex_tool(lexmerge  FOLDER lexmerge          CAPTION "词库整理" COMMAND 1009 BUTTON 7
         NAME "Quillo Lexicon Merge" NAME_ZH "词库整理"
         COMMENT "Union, intersection and difference of two lexicons"
         COMMENT_ZH "两个词库的并集、交集、差集和删词")
lex_tool(lexupdate FOLDER "Quillo词库更新"  CAPTION "词库更新" COMMAND 1012 BUTTON 6
         PATH_SUFFIX " "
         NAME "Quillo Lexicon Update" NAME_ZH "词库更新"
         COMMENT "Update a lexicon with user, waste and private word lists"
         COMMENT_ZH "用用户词、废词和私有词更新词库")
lex_tool(lexconv   FOLDER lexconv           CAPTION "词库转换" COMMAND 1013 BUTTON 9
         DATA dz.txt zn.lxd dy.txt
         NAME "Quillo Lexicon Converter" NAME_ZH "词库转换"
         COMMENT "Convert lexicons between Quillo, Rime, fcitx5, libpinyin and text exports"
         COMMENT_ZH "在 Quillo、Rime、fcitx5、libpinyin 与文本导出格式之间转换词库")
lex_tool(lexcheck  FOLDER lexcheck          CAPTION "词库检查" COMMAND 1015 BUTTON 10
         DATA dz.lxd dz.txt zn.lxd dy.txt cp.txt ft.txt
         NAME "Quillo Lexicon Checker" NAME_ZH "词库检查"
         COMMENT "Find wrong readings, syllables and duplicates in pinyin lexicons"
         COMMENT_ZH "找出拼音词库中的错误读音、音节与重复词条")
