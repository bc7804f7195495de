# quarn_add_layer(<name> SOURCES <file>... [DEPENDS <layer>...] [PRIVATE_LINKS <target>...])
# Defines the static library quarn_<name> (alias quarn::<name>) from the current folder: its
# headers come from include/ beside the sources, it sees only the layers named in DEPENDS, and
# it is built with the library's warnings, conversion warnings included.
function(quarn_add_layer name)
    cmake_parse_arguments(PARSE_ARGV 1 arg "" "" "SOURCES;DEPENDS;PRIVATE_LINKS")
    set(target quarn_${name})
    add_library(${target} STATIC ${arg_SOURCES})
    add_library(quarn::${name} ALIAS ${target})
    set_target_properties(${target} PROPERTIES EXPORT_NAME ${name})
    target_include_directories(${target} PUBLIC
        $<BUILD_INTERFACE:${CMAKE_CURRENT_SOURCE_DIR}/include>
        $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
    foreach(dependency IN LISTS arg_DEPENDS)
        target_link_libraries(${target} PUBLIC quarn_${dependency})
    endforeach()
    target_link_libraries(${target} PRIVATE ${arg_PRIVATE_LINKS}
                          $<BUILD_INTERFACE:quarn_warnings>
                          $<BUILD_INTERFACE:quarn_layer_warnings>)
endfunction()
