# ka_check_build_number(value) stops the configuration unless value is four digits, the
# form in which the identification block and the version resource carry it.
function(ka_check_build_number value)
    if(NOT value MATCHES "^[0-9][0-9][0-9][0-9]$")
        message(FATAL_ERROR "KA_BUILD_NUMBER is \"${value}\"; it must be four digits")
    endif()
endfunction()
