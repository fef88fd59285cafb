# add_bundle(<name> SOURCES <module sources...> DESCRIPTIONS <file.json> [OUTPUT_DIRECTORY <dir>])
#
# A bundle is a MODULE library <dir>/<name>.so (no "lib" prefix; <dir> defaults to
# build/bundles, where the shipped bundles land) with the framework and its module sources compiled in as object files,
# so every static registration survives. It exports only MP_GetFactory and
# timerCallback. Its module descriptions are copied beside it as <name>.json.
function(add_bundle name)
  cmake_parse_arguments(ARG "" "DESCRIPTIONS;OUTPUT_DIRECTORY" "SOURCES" ${ARGN})
  set(shipped OFF)
  if(NOT ARG_OUTPUT_DIRECTORY)
    set(ARG_OUTPUT_DIRECTORY ${MP_BUNDLE_OUTPUT_DIR})
    set(shipped ON)
  endif()
  add_library(${name} MODULE ${ARG_SOURCES} $<TARGET_OBJECTS:mp_framework>)
  if(shipped)
    add_dependencies(bundles ${name})
  endif()
  set_target_properties(${name} PROPERTIES
    PREFIX ""
    LIBRARY_OUTPUT_DIRECTORY ${ARG_OUTPUT_DIRECTORY}
    CXX_VISIBILITY_PRESET hidden
    VISIBILITY_INLINES_HIDDEN ON)
  target_link_libraries(${name} PRIVATE mp_framework_headers mp_text mp_platform mp_warnings)
  target_link_options(${name} PRIVATE "-Wl,--version-script=${MP_BUNDLE_EXPORTS_MAP}")
  if(NOT MP_SANITIZE AND NOT MP_TSAN)
    target_link_options(${name} PRIVATE "-Wl,--no-undefined")
  endif()
  set_property(TARGET ${name} APPEND PROPERTY LINK_DEPENDS ${MP_BUNDLE_EXPORTS_MAP})
  if(ARG_DESCRIPTIONS)
    # Relink when the descriptions change, so that the copy below follows every edit.
    set_property(TARGET ${name} APPEND PROPERTY LINK_DEPENDS ${ARG_DESCRIPTIONS})
    add_custom_command(TARGET ${name} POST_BUILD
      COMMAND ${CMAKE_COMMAND} -E copy_if_different ${ARG_DESCRIPTIONS} ${ARG_OUTPUT_DIRECTORY}/${name}.json
      VERBATIM)
  endif()
endfunction()

# "bundles" builds every shipped bundle.
add_custom_target(bundles)

set(MP_BUNDLE_EXPORTS_MAP ${CMAKE_CURRENT_LIST_DIR}/bundle_exports.map)
