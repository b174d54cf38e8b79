# Runs scdoc on one page, so that a failed run leaves no page behind, and
# writes it gzipped too (page.1.gz, without name or time: the same bytes each
# time):
#   cmake -DSCDOC=scdoc -DINPUT=page.1.scd -DOUTPUT=page.1 -P scdoc.cmake
execute_process(COMMAND ${SCDOC} INPUT_FILE ${INPUT} OUTPUT_FILE ${OUTPUT}.part
                RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  file(REMOVE ${OUTPUT}.part)
  message(FATAL_ERROR "scdoc could not read ${INPUT} (${status})")
endif()
execute_process(COMMAND gzip -9n -c ${OUTPUT}.part OUTPUT_FILE ${OUTPUT}.gz RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  file(REMOVE ${OUTPUT}.part ${OUTPUT}.gz)
  message(FATAL_ERROR "gzip could not compress ${OUTPUT} (${status})")
endif()
file(RENAME ${OUTPUT}.part ${OUTPUT})
