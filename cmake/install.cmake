# The C++ package: `cmake --install <build> --component devel` installs the static library,
# its headers under include/ (so "core/headers.hpp" style includes keep working) and a CMake
# package, found with find_package(quarn) and linked as quarn::quarn. The wheel installs only
# the python component, so none of this ends up in it.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(QUARN_INSTALL_CMAKEDIR "${CMAKE_INSTALL_LIBDIR}/cmake/quarn")

install(TARGETS quarn EXPORT quarnTargets
        ARCHIVE DESTINATION "${CMAKE_INSTALL_LIBDIR}" COMPONENT devel)

install(DIRECTORY core binarize convert heatshrink
        DESTINATION "${CMAKE_INSTALL_INCLUDEDIR}" COMPONENT devel
        FILES_MATCHING PATTERN "*.hpp")

install(EXPORT quarnTargets NAMESPACE quarn:: DESTINATION "${QUARN_INSTALL_CMAKEDIR}"
        COMPONENT devel)

configure_package_config_file("${CMAKE_CURRENT_LIST_DIR}/quarnConfig.cmake.in"
                              "${PROJECT_BINARY_DIR}/quarnConfig.cmake"
                              INSTALL_DESTINATION "${QUARN_INSTALL_CMAKEDIR}")
# 0.x releases may break the interface with every minor version.
write_basic_package_version_file("${PROJECT_BINARY_DIR}/quarnConfigVersion.cmake"
                                 COMPATIBILITY SameMinorVersion)
install(FILES "${PROJECT_BINARY_DIR}/quarnConfig.cmake"
              "${PROJECT_BINARY_DIR}/quarnConfigVersion.cmake"
        DESTINATION "${QUARN_INSTALL_CMAKEDIR}" COMPONENT devel)
