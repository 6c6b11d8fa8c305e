# Fails unless the library's dynamic symbol table defines exactly the 18
# C functions of commons.h.
execute_process(COMMAND nm -D --defined-only ${LIBRARY} OUTPUT_VARIABLE table RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "nm failed on ${LIBRARY}")
endif()
string(REGEX MATCHALL "[^\n]+" lines "${table}")
set(names "")
foreach(line IN LISTS lines)
    string(REGEX REPLACE "^[0-9a-fA-F]* *[A-Za-z] " "" name "${line}")
    list(APPEND names "${name}")
endforeach()
list(SORT names)
set(expected log_name logdmp logput logputd sub_bit_dmp sub_bitload sub_get_password sub_reboot_system
    sub_reboot_system_ex sub_regread sub_regread_ex sub_regremove sub_regremove_ex sub_regwrite sub_regwrite_ex
    sub_timecmp vb_logdmp vb_logput)
list(SORT expected)
if(NOT names STREQUAL expected)
    message(FATAL_ERROR "exported: ${names}\nexpected: ${expected}")
endif()
