# The editor's one-line help for the built-in functions comes from the tables
# of docs/functions.md, read at configure time into a compiled-in table, so the
# texts are written once. A row "| `StrLeft(s, n)`, `StrRight(s, n)` | the first
# / last n characters |" gives both functions the help
# "StrLeft(s, n), StrRight(s, n): the first / last n characters".
set(XEV_FUNCTION_DOC ${PROJECT_SOURCE_DIR}/docs/functions.md)
set(XEV_FUNCTION_HELP ${XEV_GENERATED_DIR}/function_help_table.cpp)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${XEV_FUNCTION_DOC})

# Texts travel as bytes of the host's code page: typographic signs become ASCII.
function(xev_plain_c_string text out)
  string(REPLACE "\\" "\\\\" text "${text}")
  string(REPLACE "\"" "\\\"" text "${text}")
  string(REPLACE "`" "" text "${text}")
  string(REPLACE "−" "-" text "${text}")
  string(REPLACE "–" "-" text "${text}")
  string(REPLACE "—" "-" text "${text}")
  string(REPLACE "’" "'" text "${text}")
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

set(rows "")
file(STRINGS ${XEV_FUNCTION_DOC} doc_lines ENCODING UTF-8)
foreach(line IN LISTS doc_lines)
  if(NOT line MATCHES "^\\| (`[^|]+) \\| (.+) \\|$")
    continue()
  endif()
  set(calls "${CMAKE_MATCH_1}")
  set(result "${CMAKE_MATCH_2}")
  xev_plain_c_string("${calls}: ${result}" help)
  string(REGEX MATCHALL "`[A-Za-z]+\\(" names "${calls}")
  foreach(name IN LISTS names)
    string(REGEX REPLACE "[`(]" "" name "${name}")
    string(APPEND rows "    {\"${name}\", \"${help}\"},\n")
  endforeach()
endforeach()

file(CONFIGURE OUTPUT ${XEV_FUNCTION_HELP} CONTENT "// Generated from docs/functions.md by cmake/XevFunctionHelp.cmake; edit those.
#include \"editor/function_help.h\"

namespace xev::editor {

const FunctionHelpRow kFunctionHelp[] = {
${rows}};
const int32_t kFunctionHelpCount = static_cast<int32_t>(sizeof kFunctionHelp / sizeof kFunctionHelp[0]);

}  // namespace xev::editor
" @ONLY)
list(APPEND XEV_SOURCES ${XEV_FUNCTION_HELP})
