# tds_embed_text(OUTPUT SYMBOL FILE [NAMESPACE ns]): writes a C++ source that
# defines `extern const char SYMBOL[]` holding the text of FILE, so that a
# program carries the file built in. Re-run on configure when FILE changes.
function(tds_embed_text output symbol file)
  cmake_parse_arguments(ARG "" "NAMESPACE" "" ${ARGN})
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${file})
  file(READ ${file} text)
  string(FIND "${text}" ")tds_embed\"" clash)
  if(NOT clash EQUAL -1)
    message(FATAL_ERROR "${file} contains the embedding delimiter")
  endif()
  set(body "extern const char ${symbol}[];\nconst char ${symbol}[] = R\"tds_embed(${text})tds_embed\";\n")
  if(ARG_NAMESPACE)
    set(body "namespace ${ARG_NAMESPACE} {\n${body}}  // namespace ${ARG_NAMESPACE}\n")
  endif()
  file(CONFIGURE OUTPUT ${output} CONTENT "// Generated from ${file}; do not edit.\n${body}" @ONLY)
endfunction()
