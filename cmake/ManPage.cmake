# Writes a manual page from a program's --help, at build time:
#   cmake -DPROGRAM=<path> -DNAME=orvanpush -DSUMMARY=<one line> -DVERSION=1.0.1
#         [-DCOMMANDS=ON] [-DSEE_ALSO=<text>] -DOUTPUT=<file.1.gz> -P ManPage.cmake
# With COMMANDS, each command listed under "Subcommands:" gets a section with its own --help.
# The help texts are kept as they are printed (no-fill), so the page says what --help says.

function(help_of out)
  execute_process(COMMAND "${PROGRAM}" ${ARGN} --help OUTPUT_VARIABLE text
                  RESULT_VARIABLE status ENCODING UTF-8)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${PROGRAM} ${ARGN} --help exited ${status}")
  endif()
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

# `text` as roff no-fill lines: backslashes escaped, and no line read as a request.
function(roff_block out text)
  string(REPLACE "\\" "\\e" text "${text}")
  string(REGEX REPLACE "(^|\n)([.'])" "\\1\\\\&\\2" text "${text}")
  string(REGEX REPLACE "(^|\n)-" "\\1\\\\-" text "${text}")
  set(${out} ".nf\n${text}\n.fi\n" PARENT_SCOPE)
endfunction()

string(TOUPPER "${NAME}" title)
help_of(help)
roff_block(description "${help}")
string(CONCAT page ".TH ${title} 1 \"\" \"${NAME} ${VERSION}\" \"User Commands\"\n"
       ".SH NAME\n${NAME} \\- ${SUMMARY}\n"
       ".SH SYNOPSIS\n.B ${NAME}\n[\\fIOPTIONS\\fR]")
if(COMMANDS)
  string(APPEND page " \\fICOMMAND\\fR [\\fICOMMAND OPTIONS\\fR]")
endif()
string(APPEND page "\n.SH DESCRIPTION\n${description}")

if(COMMANDS)
  string(REGEX MATCH "Subcommands:\n(([ ]+[^\n]*\n)+)" listing "${help}")
  string(REGEX MATCHALL "\n  [a-z][a-z-]*" names "\n${CMAKE_MATCH_1}")
  string(APPEND page ".SH COMMANDS\n")
  foreach(entry IN LISTS names)
    string(STRIP "${entry}" command)
    help_of(command_help "${command}")
    roff_block(block "${command_help}")
    string(APPEND page ".SS ${command}\n${block}")
  endforeach()
endif()

string(APPEND page ".SH SEE ALSO\n${SEE_ALSO}\n")
# Installed compressed, as manual pages are: OUTPUT names the .gz.
string(REGEX REPLACE "[.]gz$" "" plain "${OUTPUT}")
file(WRITE "${plain}" "${page}")
execute_process(COMMAND gzip -9nf "${plain}" RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "gzip of ${plain} failed")
endif()
