# Reruns sboxgen-des into the build folder and compares its output with the
# header checked in, so the two cannot drift apart. Run by CTest with
# -DGENERATOR=, -DOUTPUT= and -DHEADER=.
execute_process(COMMAND "${GENERATOR}" --output "${OUTPUT}" RESULT_VARIABLE status)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "sboxgen-des failed: ${status}")
endif()
execute_process(COMMAND "${CMAKE_COMMAND}" -E compare_files --ignore-eol "${OUTPUT}" "${HEADER}"
                RESULT_VARIABLE status)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "${HEADER} is not what sboxgen-des writes; regenerate it with "
                        "sboxgen-des --output ${HEADER}")
endif()
