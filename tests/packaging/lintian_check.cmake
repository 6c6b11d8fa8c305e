# cmake -DCPACK=... -DCONFIG=<build>/CPackConfig.cmake -DWORK=<folder> -DSANITIZED=ON|OFF -P lintian_check.cmake
# Builds the package into WORK and fails on any lintian error or warning, and
# on any hardening tag.
if(SANITIZED)
    # The package is made from the plain build; this one carries the sanitizers.
    message("SKIPPED: this build is sanitized; the package is checked in the plain build")
    return()
endif()
find_program(LINTIAN lintian)
if(NOT LINTIAN)
    message("SKIPPED: lintian is not installed (scripts/setup.sh installs it)")
    return()
endif()

file(REMOVE_RECURSE ${WORK})
execute_process(COMMAND ${CPACK} --config ${CONFIG} -B ${WORK}
                RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "cpack failed:\n${output}")
endif()
file(GLOB packages ${WORK}/*.deb)
list(LENGTH packages count)
if(NOT count EQUAL 1)
    message(FATAL_ERROR "expected one package in ${WORK}, found: ${packages}")
endif()

# Every tag shown, down to the informational and pedantic ones: errors and
# warnings fail, and so does any hardening tag.
execute_process(COMMAND ${LINTIAN} -I --pedantic --fail-on error,warning ${packages}
                RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE errors)
message("${output}")
if(NOT status EQUAL 0)
    message(FATAL_ERROR "lintian found errors or warnings in ${packages} (status ${status}):\n${output}${errors}")
endif()
if(output MATCHES "hardening-")
    message(FATAL_ERROR "lintian found a hardening tag in ${packages}:\n${output}")
endif()
file(REMOVE_RECURSE ${WORK})
