# Writes INPUT into OUTPUT as the C++ string constant quillory::embedded::rendererScriptText.
file(READ ${INPUT} text)
string(FIND "${text}" ")QUILLORY_EMBED\"" clash)
if(NOT clash EQUAL -1)
  message(FATAL_ERROR "${INPUT} contains the raw-string delimiter")
endif()
file(WRITE ${OUTPUT} "// Generated from ${INPUT}; edit that file instead.\n"
  "#include <string_view>\n"
  "namespace quillory::embedded {\n"
  "extern const std::string_view rendererScriptText;\n"
  "const std::string_view rendererScriptText = R\"QUILLORY_EMBED(${text})QUILLORY_EMBED\";\n"
  "}\n")
