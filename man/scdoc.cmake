# Runs scdoc on one page, so that a failed run leaves no page behind:
#   cmake -DSCDOC=scdoc -DINPUT=page.1.scd -DOUTPUT=page.1 -P scdoc.cmake
execute_process(COMMAND ${SCDOC} INPUT_FILE ${INPUT} OUTPUT_FILE ${OUTPUT}.part
                RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  file(REMOVE ${OUTPUT}.part)
  message(FATAL_ERROR "scdoc could not read ${INPUT} (${status})")
endif()
file(RENAME ${OUTPUT}.part ${OUTPUT})
