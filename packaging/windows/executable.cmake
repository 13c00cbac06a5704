# What makes cipherbench.exe a proper Windows program: its icon, a version
# resource and a manifest. Included from app/ so that the generated files
# belong to the directory of the target that uses them.
set(CIPHERBENCH_PUBLISHER "The Cipherbench developers")
set(CIPHERBENCH_FILE_VERSION ${PROJECT_VERSION}.0)
string(REPLACE "." "," CIPHERBENCH_FILE_VERSION_COMMAS ${CIPHERBENCH_FILE_VERSION})

# The icon is assembled at build time from the same artwork the Linux
# package installs, every size the shell asks for.
find_program(CIPHERBENCH_CONVERT convert REQUIRED)
set(CIPHERBENCH_ICO ${CMAKE_CURRENT_BINARY_DIR}/cipherbench.ico)
set(icon_sizes 16 32 48 64 128 256)
list(TRANSFORM icon_sizes REPLACE "(.+)" "${PROJECT_SOURCE_DIR}/resources/icon-\\1.png"
     OUTPUT_VARIABLE icon_pngs)
add_custom_command(OUTPUT ${CIPHERBENCH_ICO}
    COMMAND ${CIPHERBENCH_CONVERT} ${icon_pngs} ${CIPHERBENCH_ICO}
    DEPENDS ${icon_pngs} VERBATIM)

set(CIPHERBENCH_MANIFEST ${CMAKE_CURRENT_BINARY_DIR}/cipherbench.manifest)
configure_file(${CMAKE_CURRENT_LIST_DIR}/cipherbench.manifest ${CIPHERBENCH_MANIFEST} @ONLY)
configure_file(${CMAKE_CURRENT_LIST_DIR}/cipherbench.rc.in
               ${CMAKE_CURRENT_BINARY_DIR}/cipherbench.rc @ONLY)
set_source_files_properties(${CMAKE_CURRENT_BINARY_DIR}/cipherbench.rc PROPERTIES
    OBJECT_DEPENDS "${CIPHERBENCH_ICO};${CIPHERBENCH_MANIFEST}")
target_sources(cipherbench PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/cipherbench.rc ${CIPHERBENCH_ICO})
