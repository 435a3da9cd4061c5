# Writes a C++ source that holds a text file as one raw string constant, so that a
# layout kept as a .json file beside its screen is compiled into the library unchanged.
#   cmake -DINPUT=<file> -DOUTPUT=<file.cpp> -DSYMBOL=<name> [-DNAMESPACE=<ns>] -P embed_text.cmake
file(READ "${INPUT}" content)
set(delimiter "embedded")
string(FIND "${content}" ")${delimiter}\"" clash)
if(NOT clash EQUAL -1)
  message(FATAL_ERROR "${INPUT} contains the raw-string delimiter )${delimiter}\"")
endif()
set(open "")
set(close "")
if(NAMESPACE)
  set(open "namespace ${NAMESPACE} {\n")
  set(close "}  // namespace ${NAMESPACE}\n")
endif()
file(WRITE "${OUTPUT}.tmp"
  "// Generated from ${INPUT} by cmake/embed_text.cmake: edit the .json file, not this.\n"
  "${open}extern const char* const ${SYMBOL};\n"
  "const char* const ${SYMBOL} = R\"${delimiter}(${content})${delimiter}\";\n${close}")
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.tmp")
