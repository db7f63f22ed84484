# Runs kaldor-equates (TOOL) over the base form's declaration (DECLARATION) as
# it is, with a control inserted before its name, and with an equate that
# makes no name; WORK is a scratch folder.
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})
file(READ ${DECLARATION} text)

function(numbers json out)
    file(WRITE ${WORK}/kaldo005.json "${json}")
    execute_process(COMMAND ${TOOL} ${WORK}/kaldo005.json ${WORK}/kaldo005.h
                    RESULT_VARIABLE rc ERROR_VARIABLE err)
    set(${out}_rc ${rc} PARENT_SCOPE)
    set(${out}_err "${err}" PARENT_SCOPE)
    if(rc EQUAL 0)
        file(READ ${WORK}/kaldo005.h header)
        set(${out} "${header}" PARENT_SCOPE)
    endif()
endfunction()

function(expect header line)
    string(FIND "${header}" "${line}" at)
    if(at EQUAL -1)
        message(FATAL_ERROR "no \"${line}\" in:\n${header}")
    endif()
endfunction()

numbers("${text}" before)
if(NOT before_rc EQUAL 0)
    message(FATAL_ERROR "the declaration as it is was refused: ${before_err}")
endif()
expect("${before}" "namespace kaldo005 {")
expect("${before}" "    CON_RTG_PROMPT = 12,")
expect("${before}" "    CON_NAME = 11,")
expect("${before}" "    OK = 15,")

string(REPLACE [[{"type": "prompt", "equate": "?CON:NAME:PROMPT"]]
       [[{"type": "check", "equate": "?CON:NEW"}, {"type": "prompt", "equate": "?CON:NAME:PROMPT"]]
       inserted "${text}")
numbers("${inserted}" after)
expect("${after}" "    CON_PATH = 8,")
expect("${after}" "    CON_NEW = 10,")
expect("${after}" "    CON_NAME = 12,")
expect("${after}" "    OK = 16,")

string(REPLACE [["?CON:NEW"]] [["?CON NEW"]] bad "${inserted}")
numbers("${bad}" refused)
if(refused_rc EQUAL 0)
    message(FATAL_ERROR "an equate that makes no name passed")
endif()
string(FIND "${refused_err}" "?CON NEW" named)
if(named EQUAL -1)
    message(FATAL_ERROR "the refusal does not name the equate: ${refused_err}")
endif()
