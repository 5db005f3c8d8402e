# The relocatable SDK: headers, import libraries, DLLs, kacutil and a CMake package, so that
# callers write find_package(KaCtrlUtils 1.5 CONFIG REQUIRED) and link KaCtrlUtils::KaCtrlUtils.
include(CMakePackageConfigHelpers)
include(GNUInstallDirs)

install(TARGETS KaCtrlUtils KaCtrlUtilsC KaTek KaLnk KaCtrl EXPORT KaCtrlUtilsTargets
    RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
    LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
    ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(TARGETS kacutil RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

install(FILES include/KaCtrlUtils.h include/KaCtrlUtilsC.h KaTek/include/KaTek.h KaLnk/include/KaLnk.h
    KaCtrl/include/KaCtrl.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(DIRECTORY KaTek/include/KaTek DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
# For callers that link the MSVC way.
install(FILES ${CMAKE_ARCHIVE_OUTPUT_DIRECTORY}/KaCtrlUtilsC.lib DESTINATION ${CMAKE_INSTALL_LIBDIR})

set(package_dir ${CMAKE_INSTALL_LIBDIR}/cmake/KaCtrlUtils)
install(EXPORT KaCtrlUtilsTargets NAMESPACE KaCtrlUtils:: DESTINATION ${package_dir})
configure_package_config_file(cmake/KaCtrlUtilsConfig.cmake.in
    ${CMAKE_BINARY_DIR}/KaCtrlUtilsConfig.cmake INSTALL_DESTINATION ${package_dir})
write_basic_package_version_file(${CMAKE_BINARY_DIR}/KaCtrlUtilsConfigVersion.cmake
    COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/KaCtrlUtilsConfig.cmake
    ${CMAKE_BINARY_DIR}/KaCtrlUtilsConfigVersion.cmake DESTINATION ${package_dir})
