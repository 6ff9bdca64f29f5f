# The site's index.html from web/index.html: its stylesheets and its boot
# script put inline and the scenario's description written into the header,
# so that the first paint waits for no other request and the header already
# stands as the page's script will leave it.
# boot.js preloads the modules of MODULES (comma-separated), the modules
# that app.js imports.
# Usage: cmake -DIN=index.html -DOUT=site/index.html -DUPLOT_CSS=uPlot.min.css
#   -DSTYLE=style.css -DBOOT=boot.js -DSCENARIO=scenario.json
#   -DMODULES=a.js,b.js -P page.cmake
foreach(var IN ITEMS IN OUT UPLOT_CSS STYLE BOOT SCENARIO MODULES)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "page.cmake: -D${var}=... is missing")
  endif()
endforeach()
file(READ "${IN}" html)
file(READ "${UPLOT_CSS}" uplot_css)
file(READ "${STYLE}" style)
file(READ "${BOOT}" boot)
file(READ "${SCENARIO}" scenario)
string(JSON description ERROR_VARIABLE error GET "${scenario}" description)
if(error)
  set(description "")
endif()
string(REPLACE "&" "&amp;" description "${description}")
string(REPLACE "<" "&lt;" description "${description}")
string(REPLACE ">" "&gt;" description "${description}")

# Each part replaced exactly where index.html has it; a part not found is an
# error, not a page that quietly loads it the slow way.
function(put what with)
  string(FIND "${html}" "${what}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "page.cmake: ${IN} has no ${what}")
  endif()
  string(REPLACE "${what}" "${with}" html "${html}")
  set(html "${html}" PARENT_SCOPE)
endfunction()
string(REPLACE "," "', '" modules "'${MODULES}'")
string(FIND "${boot}" "[/* the page's modules */]" at)
if(at EQUAL -1)
  message(FATAL_ERROR "page.cmake: ${BOOT} has no [/* the page's modules */]")
endif()
string(REPLACE "[/* the page's modules */]" "[${modules}]" boot "${boot}")
put("<script src=\"boot.js\"></script>" "<script>\n${boot}</script>")
put("<link rel=\"stylesheet\" href=\"uPlot.min.css\">" "<style>\n${uplot_css}\n</style>")
put("<link rel=\"stylesheet\" href=\"style.css\">" "<style>\n${style}</style>")
put("<p id=\"scenario-text\"></p>" "<p id=\"scenario-text\">${description}</p>")
file(WRITE "${OUT}.part" "${html}")
file(RENAME "${OUT}.part" "${OUT}")
