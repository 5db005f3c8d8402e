# Values the build supplies to the identification block and the version resource.
set(KA_PRODUCT_NAME "Ka Agent" CACHE STRING "Product name in the identification block")
set(KA_COMPANY "Trelm" CACHE STRING "Maker in the version resource")
set(KA_COPYRIGHT "Copyright (C) 2026 Trelm. All rights reserved." CACHE STRING
    "Copyright line in the identification block and the version resource")

# Release version as groups of 2, 2 and 3 digits: 1.5.0 -> 01.05.000.
function(ka_padded out value width)
    string(LENGTH "${value}" length)
    math(EXPR missing "${width} - ${length}")
    if(missing GREATER 0)
        string(REPEAT "0" ${missing} zeros)
        set(value "${zeros}${value}")
    endif()
    set(${out} "${value}" PARENT_SCOPE)
endfunction()
ka_padded(major ${PROJECT_VERSION_MAJOR} 2)
ka_padded(minor ${PROJECT_VERSION_MINOR} 2)
ka_padded(patch ${PROJECT_VERSION_PATCH} 3)
set(KA_RELEASE "${major}.${minor}.${patch}")

# Common build identifier: the configure time, yyyymmdd_hhmm (UTC).
string(TIMESTAMP KA_CBID "%Y%m%d_%H%M" UTC)

# Build number: the count of commits on the checked-out branch, four digits; 0000 outside
# a git checkout. KA_BUILD_NUMBER on the command line overrides it.
if(NOT KA_BUILD_NUMBER)
    execute_process(COMMAND git rev-list --count HEAD WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
        OUTPUT_VARIABLE commits OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE git_failed
        ERROR_QUIET)
    if(git_failed OR NOT commits MATCHES "^[0-9]+$")
        set(commits 0)
    endif()
    math(EXPR commits "${commits} % 10000")
    ka_padded(KA_BUILD_NUMBER ${commits} 4)
endif()
include(${CMAKE_CURRENT_LIST_DIR}/BuildNumber.cmake)
ka_check_build_number("${KA_BUILD_NUMBER}")

# Build system: host name and major version, e.g. "Linux 6".
string(REGEX MATCH "^[0-9]+" host_major "${CMAKE_HOST_SYSTEM_VERSION}")
set(KA_BUILD_OS "${CMAKE_HOST_SYSTEM_NAME} ${host_major}")

# Compiler banner: the first line of the compiler's --version.
execute_process(COMMAND ${CMAKE_CXX_COMPILER} --version OUTPUT_VARIABLE banner ERROR_QUIET)
string(REGEX REPLACE "\n.*" "" KA_COMPILER_BANNER "${banner}")

# ka_identification_sources(DIR [PRODUCT_NAME text] [COMPANY text] [COPYRIGHT text]) writes
# the identification block (DIR/Identification.cpp) and the version resource
# (DIR/Version.rc) with the values above, or the ones given. Text from the build is written
# as a literal of each language, so that it arrives as given: in C a backslash or a double
# quote gets a backslash before it; in a resource script a backslash is doubled and so is a
# double quote.
function(ka_identification_sources dir)
    cmake_parse_arguments(PARSE_ARGV 1 arg "" "PRODUCT_NAME;COMPANY;COPYRIGHT" "")
    foreach(name PRODUCT_NAME COMPANY COPYRIGHT)
        if(DEFINED arg_${name})
            set(KA_${name} "${arg_${name}}")
        endif()
    endforeach()
    set(texts KA_PRODUCT_NAME KA_COMPANY KA_COPYRIGHT KA_BUILD_NUMBER KA_BUILD_OS
        KA_COMPILER_BANNER)
    foreach(name ${texts})
        string(REPLACE "\\" "\\\\" ${name} "${${name}}")
        string(REPLACE "\"" "\\\"" c_${name} "${${name}}")
        string(REPLACE "\"" "\"\"" rc_${name} "${${name}}")
    endforeach()
    foreach(name ${texts})
        set(${name} "${c_${name}}")
    endforeach()
    configure_file(${PROJECT_SOURCE_DIR}/src/frame/Identification.cpp.in
        ${dir}/Identification.cpp @ONLY)
    foreach(name ${texts})
        set(${name} "${rc_${name}}")
    endforeach()
    configure_file(${PROJECT_SOURCE_DIR}/src/frame/Version.rc.in ${dir}/Version.rc @ONLY)
endfunction()
