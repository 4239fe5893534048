# Puts the page together: page.html with the module, the worker's code, the
# windows' descriptions and the page's code in place of its markers. Fails
# when the page would be over its size limit or a part could end the script
# element that carries it.
# cmake -DSOURCE=web -DGEN=dir -DMODULE=tarnwick_web.js -DOUTPUT=tarnwick.html -P MakePage.cmake
cmake_minimum_required(VERSION 3.25)
set(limit 262144)

file(READ ${SOURCE}/page.html page)
file(READ ${MODULE} module)
file(READ ${SOURCE}/Worker.js worker)
file(READ ${SOURCE}/Page.js code)
foreach(part module worker code)
  string(FIND "${${part}}" "</script" at)
  if(NOT at EQUAL -1)
    message(FATAL_ERROR "MakePage: the ${part} holds \"</script\", which would end its element early")
  endif()
endforeach()
foreach(language ja en)
  set(suffix "")
  if(language STREQUAL "en")
    set(suffix ".en")
  endif()
  file(READ ${GEN}/TForm1${suffix}.json main)
  file(READ ${GEN}/TForm2${suffix}.json about)
  string(STRIP "${main}" main)
  string(STRIP "${about}" about)
  set(forms_${language} "{\"main\":${main},\"about\":${about}}")
endforeach()

# The module goes in last: its text is never searched for markers.
string(REPLACE "@FORMS_JA@" "${forms_ja}" page "${page}")
string(REPLACE "@FORMS_EN@" "${forms_en}" page "${page}")
string(REPLACE "@PAGE@" "${code}" page "${page}")
string(REPLACE "@WORKER@" "${worker}" page "${page}")
string(REPLACE "@MODULE@" "${module}" page "${page}")

file(WRITE ${OUTPUT}.part "${page}")
file(SIZE ${OUTPUT}.part size)
if(size GREATER limit)
  file(REMOVE ${OUTPUT}.part)
  message(FATAL_ERROR "MakePage: the page is ${size} bytes, over its limit of ${limit}")
endif()
file(RENAME ${OUTPUT}.part ${OUTPUT})
message(STATUS "MakePage: ${OUTPUT}, ${size} bytes")
