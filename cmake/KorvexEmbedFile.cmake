# cmake -DINPUT=file -DOUTPUT=source.cpp -DSYMBOL=name -DNAMESPACE=ns -P KorvexEmbedFile.cmake
# Writes a C++ source that holds the bytes of INPUT as `const unsigned char SYMBOL[]` with their
# count in `SYMBOL_size`, both in namespace NAMESPACE.
file(READ "${INPUT}" hex HEX)
file(SIZE "${INPUT}" size)
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
string(REGEX REPLACE "((0x[0-9a-f][0-9a-f],){20})" "\\1\n" bytes "${bytes}")
file(WRITE "${OUTPUT}.new"
  "// Generated from ${INPUT} at build time; do not edit.\n"
  "#include <cstddef>\n"
  "namespace ${NAMESPACE} {\n"
  "extern const unsigned char ${SYMBOL}[] = {\n${bytes}\n};\n"
  "extern const std::size_t ${SYMBOL}_size = ${size};\n"
  "}\n")
file(RENAME "${OUTPUT}.new" "${OUTPUT}")
