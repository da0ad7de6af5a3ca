# Writes OUTPUT, a C++ source that defines NAME as the bytes of INPUT: a
# build embeds a file it also ships, to compare the shipped one with.
# Usage: cmake -DINPUT=file -DOUTPUT=file.cpp -DNAME=identifier -P EmbedFileBytes.cmake
file(READ "${INPUT}" hex HEX)
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
file(WRITE "${OUTPUT}.new"
     "// The bytes of ${INPUT}, written by the build.\n"
     "#include <vector>\n"
     "extern const std::vector<unsigned char> ${NAME};\n"
     "const std::vector<unsigned char> ${NAME} = {\n${bytes}};\n")
file(COPY_FILE "${OUTPUT}.new" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.new")
