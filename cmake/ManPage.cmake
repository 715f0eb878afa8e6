# cmake -P ManPage.cmake: one manual page, gzipped as Debian wants it (-9n: no name or time
# inside, so the same page gives the same bytes).
#   -DSOURCE=page.1 -DOUTPUT=page.1.gz
#       a page written by hand
#   -DHELP2MAN=help2man -DPROGRAM=tool -DWHAT="one line" [-DSUBCOMMANDS=a,b] -DINSTALLED_DIR=dir
#   -DOUTPUT=tool.1.gz
#       a page made from the tool's --help; each subcommand's --help becomes a section of its own;
#       the tool's folder, where its help names it, becomes the installed program folder
# The made pages name no fact of the machine they were made on (its core count), and no name is
# hyphenated at a line's end.
cmake_minimum_required(VERSION 3.25)

function(run_help2man out)
    execute_process(COMMAND ${HELP2MAN} --no-info --section=1 "--name=${WHAT}" ${ARGN} ${PROGRAM}
                    OUTPUT_VARIABLE page RESULT_VARIABLE status)
    if(NOT status EQUAL 0)
        message(FATAL_ERROR "help2man ${PROGRAM} ${ARGN} failed")
    endif()
    set(${out} "${page}" PARENT_SCOPE)
endfunction()

if(DEFINED SOURCE)
    file(READ ${SOURCE} page)
else()
    run_help2man(page)
    string(REPLACE "," ";" subcommands "${SUBCOMMANDS}")
    foreach(sub IN LISTS subcommands)
        # The subcommand's own page, from its usage on, as one section of the tool's page.
        run_help2man(subpage "--help-option=${sub} --help")
        string(FIND "${subpage}" ".SH SYNOPSIS\n" at)
        if(at LESS 0)
            message(FATAL_ERROR "help2man found no usage in ${PROGRAM} ${sub} --help")
        endif()
        math(EXPR at "${at} + 13")
        string(SUBSTRING "${subpage}" ${at} -1 body)
        string(REGEX REPLACE "\n\\.SH \"?SEE ALSO.*" "\n" body "${body}")
        string(REPLACE "\n.SH DESCRIPTION\n" "\n.PP\n" body "${body}")
        string(REGEX REPLACE "\n\\.SH \"?([^\n\"]*)\"?" "\n.SS \"\\1\"" body "${body}")
        set(body ".SH \"THE ${sub} COMMAND\"\n${body}")
        # Before SEE ALSO, if the page has one (replaced by position: the body holds backslashes).
        string(FIND "${page}" "\n.SH \"SEE ALSO\"" end)
        if(end LESS 0)
            string(FIND "${page}" "\n.SH SEE ALSO" end)
        endif()
        if(end LESS 0)
            string(APPEND page "${body}")
        else()
            string(SUBSTRING "${page}" 0 ${end} head)
            string(SUBSTRING "${page}" ${end} -1 tail)
            set(page "${head}\n${body}${tail}")
        endif()
    endforeach()
    # Facts of the build machine: "the number of cores, here 2", and the build's program folder
    # where the installed one is meant.
    string(REGEX REPLACE ",[ \n]+here[ \n]+[0-9]+" "" page "${page}")
    get_filename_component(built_dir ${PROGRAM} DIRECTORY)
    string(REPLACE "-" "\\-" built_dir_roff "${built_dir}") # as help2man writes it
    string(REPLACE "${built_dir_roff}" "${INSTALLED_DIR}" page "${page}")
    string(REPLACE "${built_dir}" "${INSTALLED_DIR}" page "${page}")
    # No hyphenation: names such as levora-state.tsv and LEVORA_PREFIX stay whole (the pages
    # written by hand say .nh themselves).
    string(REGEX REPLACE "(\\.TH [^\n]*\n)" "\\1.nh\n" page "${page}")
endif()

get_filename_component(name ${OUTPUT} NAME_WLE)
get_filename_component(dir ${OUTPUT} DIRECTORY)
file(WRITE ${dir}/${name} "${page}")
execute_process(COMMAND gzip -9nc ${dir}/${name} OUTPUT_FILE ${OUTPUT} RESULT_VARIABLE status)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "gzip ${dir}/${name} failed")
endif()
