# Writes OUT, a C++ source whose function FUNCTION (in namespace NAMESPACE) returns
# the bytes of the file IN, so that a program carries the file inside it.
file(READ "${IN}" content HEX)
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${content}")
file(WRITE "${OUT}.tmp"
  "// Generated from ${IN}; do not edit.\n"
  "#include <string_view>\n"
  "namespace ${NAMESPACE} {\n"
  "namespace {\n"
  "constexpr unsigned char kBytes[] = {${bytes}};\n"
  "}\n"
  "std::string_view ${FUNCTION}() {\n"
  "  return {reinterpret_cast<const char*>(kBytes), sizeof kBytes};\n"
  "}\n"
  "}\n")
file(COPY_FILE "${OUT}.tmp" "${OUT}" ONLY_IF_DIFFERENT)
