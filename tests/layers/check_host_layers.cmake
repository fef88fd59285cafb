# Checks the layering of the host library: every source sits in a layer folder and includes
# only its own layer and the ones below it. Host headers are named from host/ ("loader/bundle.h").
#   cmake -DHOST_DIR=<host folder> -P check_host_layers.cmake
# Prints one line per offending include and fails when there is any.
if(NOT HOST_DIR OR NOT IS_DIRECTORY "${HOST_DIR}")
  message(FATAL_ERROR "HOST_DIR must name the host folder")
endif()
get_filename_component(HOST_DIR "${HOST_DIR}" ABSOLUTE)

# Bottom up; a folder may include the ones before it in this list.
set(layers common loader services drawing harness engine validate)

file(GLOB_RECURSE sources RELATIVE "${HOST_DIR}" "${HOST_DIR}/*.h" "${HOST_DIR}/*.cpp")
set(header_names "")
foreach(source IN LISTS sources)
  get_filename_component(name "${source}" NAME)
  list(APPEND header_names "${name}")
endforeach()

set(problems 0)
foreach(source IN LISTS sources)
  string(REGEX MATCH "^[^/]+/" folder "${source}")
  string(REPLACE "/" "" folder "${folder}")
  list(FIND layers "${folder}" rank)
  if(rank EQUAL -1)
    message("${source}: not in a layer folder (${layers})")
    math(EXPR problems "${problems} + 1")
    continue()
  endif()
  get_filename_component(source_dir "${HOST_DIR}/${source}" DIRECTORY)
  file(STRINGS "${HOST_DIR}/${source}" lines REGEX "^[ \t]*#[ \t]*include[ \t]*\"")
  foreach(line IN LISTS lines)
    string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*\"([^\"]+)\".*$" "\\1" included "${line}")
    if(EXISTS "${source_dir}/${included}")
      get_filename_component(target "${source_dir}/${included}" ABSOLUTE)
    elseif(EXISTS "${HOST_DIR}/${included}")
      get_filename_component(target "${HOST_DIR}/${included}" ABSOLUTE)
    else()
      # A name with a folder that is not under host/ is outside the host ("platform/run_loop.h");
      # a bare name that matches a host header was meant to be a host header.
      list(FIND header_names "${included}" known)
      if(NOT known EQUAL -1)
        message("${source}: includes \"${included}\"; name host headers from host/ (folder/name.h)")
        math(EXPR problems "${problems} + 1")
      endif()
      continue()  # outside the host: the binary contract, the platform library, the system
    endif()
    file(RELATIVE_PATH target "${HOST_DIR}" "${target}")
    string(REGEX MATCH "^[^/]+/" target_folder "${target}")
    string(REPLACE "/" "" target_folder "${target_folder}")
    list(FIND layers "${target_folder}" target_rank)
    if(target_rank GREATER rank)
      message("${source}: includes ${target}, a higher layer (${target_folder} is above ${folder})")
      math(EXPR problems "${problems} + 1")
    endif()
  endforeach()
endforeach()

if(problems GREATER 0)
  message(FATAL_ERROR "${problems} include(s) break the host's layering")
endif()
list(LENGTH sources count)
message("host layering holds over ${count} files")
