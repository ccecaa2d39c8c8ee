# Makes the manual page of a program from its --help and --version with help2man, and turns
# each heading of --help ("Commands:", "Exit status:") into a section of the page, where
# help2man would leave it a subsection of the one before.
#
# cmake -DHELP2MAN=<help2man> -DPROGRAM=<program> -DINCLUDE=<file.h2m> -DOUTPUT=<page> -P this
cmake_minimum_required(VERSION 3.25)

# A sanitized build's leak report at exit would read as a failure of --help.
set(ENV{ASAN_OPTIONS} "detect_leaks=0")
execute_process(
    COMMAND "${HELP2MAN}" --no-info --no-discard-stderr "--include=${INCLUDE}"
            "--output=${OUTPUT}.part" "${PROGRAM}"
    RESULT_VARIABLE status ERROR_VARIABLE error)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "help2man failed on ${PROGRAM}: ${error}")
endif()

file(READ "${OUTPUT}.part" page)
string(REGEX MATCHALL "\n\\.SS \"[^\"\n]+:\"\n" headings "${page}")
foreach(heading IN LISTS headings)
    string(REGEX REPLACE "\n\\.SS \"([^\"\n]+):\"\n" "\\1" name "${heading}")
    string(TOUPPER "${name}" name)
    string(REPLACE "${heading}" "\n.SH \"${name}\"\n" page "${page}")
endforeach()
file(WRITE "${OUTPUT}" "${page}")
file(REMOVE "${OUTPUT}.part")
