# Reruns a circuit generator into the build folder and compares its output
# with the header checked in, so the two cannot drift apart. Run by CTest
# with -DGENERATOR=, -DOUTPUT= and -DHEADER=.
get_filename_component(name "${GENERATOR}" NAME_WE)
execute_process(COMMAND "${GENERATOR}" --output "${OUTPUT}" RESULT_VARIABLE status)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "${name} failed: ${status}")
endif()
execute_process(COMMAND "${CMAKE_COMMAND}" -E compare_files --ignore-eol "${OUTPUT}" "${HEADER}"
                RESULT_VARIABLE status)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "${HEADER} is not what ${name} writes; regenerate it with "
                        "${name} --output ${HEADER}")
endif()
