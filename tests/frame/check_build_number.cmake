# cmake -DNUMBER=... -P check_build_number.cmake: fails as a configuration would for NUMBER.
include(${CMAKE_CURRENT_LIST_DIR}/../../cmake/BuildNumber.cmake)
ka_check_build_number("${NUMBER}")
