# Writes IN as a C++ string_view named NAME into OUT (as hex bytes, so any content survives).
file(READ ${IN} hex HEX)
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "\\\\x\\1" escaped "${hex}")
string(LENGTH "${hex}" hexlen)
math(EXPR len "${hexlen} / 2")
file(WRITE ${OUT} "#include <string_view>\nextern const std::string_view ${NAME};\nconst std::string_view ${NAME}(\"${escaped}\", ${len});\n")
