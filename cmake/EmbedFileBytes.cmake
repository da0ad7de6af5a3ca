# Writes OUTPUT, a C++ source that defines the string NAME as the SHA-256 of
# INPUT in lower-case hex: a build embeds the hash of a file it also ships.
# Usage: cmake -DINPUT=file -DOUTPUT=file.cpp -DNAME=identifier -P EmbedFileHash.cmake
file(SHA256 "${INPUT}" hash)
file(WRITE "${OUTPUT}.new"
     "// The SHA-256 of ${INPUT}, written by the build.\n"
     "extern const char* const ${NAME};\n"
     "const char* const ${NAME} = \"${hash}\";\n")
file(COPY_FILE "${OUTPUT}.new" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.new")
