cmake_policy(SET CMP0007 NEW)
# Compares the export table of DLL with the list in EXPECTED (a list of demangled names, or a
# .def file): every exported name, demangled, must be listed, and every listed one exported.
execute_process(COMMAND x86_64-w64-mingw32-objdump -p ${DLL} OUTPUT_VARIABLE dump
    RESULT_VARIABLE failed)
if(failed)
    message(FATAL_ERROR "objdump cannot read ${DLL}")
endif()
# Names stand as "\t[   3] _ZN6KaCtrl9GetKaSudoEv" in the name pointer table; the address
# table's rows ("\t[   3] +base[   4] 1550 Export RVA") start with "+" instead.
string(REGEX MATCHALL "\n\t\\[ *[0-9]+\\] [A-Za-z_?@][^\n]*" rows "${dump}")
set(mangled "")
foreach(row IN LISTS rows)
    string(REGEX REPLACE "^\n\t\\[ *[0-9]+\\] " "" name "${row}")
    list(APPEND mangled "${name}")
endforeach()
list(JOIN mangled "\n" mangled_text)
file(WRITE ${OUT_DIR}/exports.mangled "${mangled_text}\n")
execute_process(COMMAND x86_64-w64-mingw32-c++filt INPUT_FILE ${OUT_DIR}/exports.mangled
    OUTPUT_VARIABLE demangled)
string(REPLACE "\n" ";" actual "${demangled}")
list(REMOVE_ITEM actual "")
list(SORT actual)

if(EXPECTED MATCHES "[.]def$")
    # A module-definition file lists one plain name per indented line below EXPORTS.
    file(STRINGS ${EXPECTED} expected REGEX "^[ \t]+[A-Za-z_]")
    list(TRANSFORM expected STRIP)
else()
    file(STRINGS ${EXPECTED} expected REGEX "^[^#]")
endif()
list(SORT expected)
get_filename_component(dll_name ${DLL} NAME)
if(NOT actual STREQUAL expected)
    string(REPLACE ";" "\n  " a "${actual}")
    string(REPLACE ";" "\n  " e "${expected}")
    message(FATAL_ERROR "${dll_name} exports\n  ${a}\nbut the list says\n  ${e}")
endif()
list(LENGTH actual count)
message(STATUS "${dll_name} exports exactly the ${count} listed functions")
