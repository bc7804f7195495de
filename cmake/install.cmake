# The C++ package: `cmake --install <build> --component devel` installs the static library of
# each layer, the public headers under include/quarn/ (the detail/ folders stay behind) and a
# CMake package, found with find_package(quarn) and linked as quarn::quarn. The wheel installs only
# the python component, so none of this ends up in it.
include(CMakePackageConfigHelpers)

set(QUARN_INSTALL_CMAKEDIR "${CMAKE_INSTALL_LIBDIR}/cmake/quarn")

install(TARGETS quarn quarn_core quarn_heatshrink quarn_binarize quarn_convert
        EXPORT quarnTargets
        ARCHIVE DESTINATION "${CMAKE_INSTALL_LIBDIR}" COMPONENT devel)

foreach(layer core heatshrink binarize convert)
    install(DIRECTORY ${layer}/include/quarn
            DESTINATION "${CMAKE_INSTALL_INCLUDEDIR}" COMPONENT devel
            FILES_MATCHING PATTERN "*.hpp" PATTERN detail EXCLUDE)
endforeach()
install(FILES include/quarn/quarn.hpp "${QUARN_GENERATED_INCLUDE}/quarn/version.hpp"
        DESTINATION "${CMAKE_INSTALL_INCLUDEDIR}/quarn" COMPONENT devel)

install(EXPORT quarnTargets NAMESPACE quarn:: DESTINATION "${QUARN_INSTALL_CMAKEDIR}"
        COMPONENT devel)

configure_package_config_file("${CMAKE_CURRENT_LIST_DIR}/quarnConfig.cmake.in"
                              "${PROJECT_BINARY_DIR}/quarnConfig.cmake"
                              INSTALL_DESTINATION "${QUARN_INSTALL_CMAKEDIR}")
# Only a new major version breaks the interface (see CHANGELOG.md).
write_basic_package_version_file("${PROJECT_BINARY_DIR}/quarnConfigVersion.cmake"
                                 COMPATIBILITY SameMajorVersion)
install(FILES "${PROJECT_BINARY_DIR}/quarnConfig.cmake"
              "${PROJECT_BINARY_DIR}/quarnConfigVersion.cmake"
        DESTINATION "${QUARN_INSTALL_CMAKEDIR}" COMPONENT devel)
