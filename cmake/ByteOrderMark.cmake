# Writes OUTPUT as the UTF-8 text file INPUT preceded by the UTF-8 byte-order
# mark (EF BB BF; one already there is not doubled), with CRLF line ends. Run
# with cmake -P. INPUT has been configured already: nothing of the form
# @NAME@ is left in it to be replaced.
file(READ "${INPUT}" content)
string(ASCII 239 187 191 bom)
string(FIND "${content}" "${bom}" at)
if(at EQUAL 0)
  set(bom "")
endif()
file(WRITE "${OUTPUT}.in" "${bom}${content}")
configure_file("${OUTPUT}.in" "${OUTPUT}" @ONLY NEWLINE_STYLE CRLF)
file(REMOVE "${OUTPUT}.in")
