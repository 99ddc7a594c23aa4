# Installs the build into PREFIX and checks that it is the program folder a user
# gets: the program, the command-line collector, the how-to, the sample settings
# file and the example unit files, and nothing else.
# In particular no settei.txt: installing must never replace the user's settings.

file(REMOVE_RECURSE "${PREFIX}")
execute_process(
  COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${PREFIX}"
  RESULT_VARIABLE result
  OUTPUT_VARIABLE output
  ERROR_VARIABLE output)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "cmake --install failed:\n${output}")
endif()

file(GLOB entries RELATIVE "${PREFIX}" "${PREFIX}/*")
list(SORT entries)
set(wanted "kabuka-collect;kabuka-collect.service;kabuka-collect.timer;kabuka-collector;readme.txt;settei.txt.sample")
if(NOT entries STREQUAL wanted)
  message(FATAL_ERROR "program folder holds [${entries}], wanted [${wanted}]")
endif()

foreach(program kabuka-collector kabuka-collect)
  file(READ "${PREFIX}/${program}" magic LIMIT 4 HEX)
  execute_process(COMMAND test -x "${PREFIX}/${program}" RESULT_VARIABLE notExecutable)
  if(NOT magic STREQUAL "7f454c46" OR NOT notExecutable EQUAL 0)
    message(FATAL_ERROR "${program} is not an executable program")
  endif()
endforeach()

# The unit files lie beside readme.txt in the source tree.
get_filename_component(dist "${README}" DIRECTORY)
foreach(pair "readme.txt=${README}" "settei.txt.sample=${SAMPLE}"
             "kabuka-collect.service=${dist}/kabuka-collect.service"
             "kabuka-collect.timer=${dist}/kabuka-collect.timer")
  string(REPLACE "=" ";" pair "${pair}")
  list(GET pair 0 name)
  list(GET pair 1 source)
  file(SHA256 "${PREFIX}/${name}" installed)
  file(SHA256 "${source}" built)
  if(NOT installed STREQUAL built)
    message(FATAL_ERROR "${name} differs from ${source}")
  endif()
endforeach()

file(REMOVE_RECURSE "${PREFIX}")
