# cmake -DIN=page.raw -DOUT=page -P ManPageSynopsis.cmake
# help2man takes only the first line of a usage that goes on over indented
# lines into the synopsis; the other lines open the description as an indented
# paragraph. They are moved back to the end of the synopsis.
file(READ ${IN} page)
string(REGEX MATCH "\n\\.SH DESCRIPTION\n\\.IP\n(\\[[^\n]*\n)+\\.PP\n" rest "${page}")
if(rest)
  string(REGEX REPLACE "^\n\\.SH DESCRIPTION\n\\.IP\n|\\.PP\n$" "" lines "${rest}")
  string(REPLACE "${rest}" "\n${lines}.SH DESCRIPTION\n" page "${page}")
endif()
file(WRITE ${OUT} "${page}")
