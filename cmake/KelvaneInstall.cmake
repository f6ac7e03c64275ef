# Installs the program, the deliverable static archives with their headers, and a CMake
# package: find_package(kelvane) gives kelvane::four1, kelvane::report, kelvane::ostrel,
# kelvane::c2c_1d and kelvane::quimbel (and kelvane::emu where the bridge runs on the host).
include(CMakePackageConfigHelpers)

set(device ${KELVANE_DEVICE_RESOLVED})
set(KELVANE_INSTALL_CMAKEDIR "${CMAKE_INSTALL_LIBDIR}/cmake/kelvane")

install(TARGETS kelvane_${device} RUNTIME DESTINATION "${CMAKE_INSTALL_BINDIR}")
if(TARGET kelvane_verify_${device})
    install(TARGETS kelvane_verify_${device} RUNTIME DESTINATION "${CMAKE_INSTALL_BINDIR}")
endif()
install(TARGETS kelvane_sample four1 kelvane_report ostrel_${device} c2c_1d_${device} quimbel
    EXPORT kelvaneTargets
    ARCHIVE DESTINATION "${CMAKE_INSTALL_LIBDIR}"
    PUBLIC_HEADER DESTINATION "${CMAKE_INSTALL_INCLUDEDIR}/kelvane")
# The emulation's CUDA headers stay in a folder of their own: only kelvane::emu puts it on an
# include path.
if(device STREQUAL "host")
    install(TARGETS kelvane_emu
        EXPORT kelvaneTargets
        ARCHIVE DESTINATION "${CMAKE_INSTALL_LIBDIR}"
        PUBLIC_HEADER DESTINATION "${CMAKE_INSTALL_INCLUDEDIR}/kelvane/emu")
endif()

install(EXPORT kelvaneTargets NAMESPACE kelvane:: DESTINATION "${KELVANE_INSTALL_CMAKEDIR}")
configure_package_config_file(cmake/kelvaneConfig.cmake.in
    "${PROJECT_BINARY_DIR}/kelvaneConfig.cmake"
    INSTALL_DESTINATION "${KELVANE_INSTALL_CMAKEDIR}")
write_basic_package_version_file("${PROJECT_BINARY_DIR}/kelvaneConfigVersion.cmake"
    COMPATIBILITY SameMajorVersion)
install(FILES
    "${PROJECT_BINARY_DIR}/kelvaneConfig.cmake"
    "${PROJECT_BINARY_DIR}/kelvaneConfigVersion.cmake"
    DESTINATION "${KELVANE_INSTALL_CMAKEDIR}")
