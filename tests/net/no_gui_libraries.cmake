# Fails when one of the executables named after the script needs libQt6Gui
# or libQt6Widgets: programs built on net/ alone must not load the GUI.
#   cmake -DREADELF=/usr/bin/readelf -P no_gui_libraries.cmake FILE...
set(files)
set(seen_script FALSE)
math(EXPR last "${CMAKE_ARGC} - 1")
foreach(i RANGE ${last})
  if(seen_script)
    list(APPEND files "${CMAKE_ARGV${i}}")
  elseif(CMAKE_ARGV${i} STREQUAL "-P")
    set(seen_script TRUE)
  endif()
endforeach()
list(POP_FRONT files) # the script itself
if(NOT files)
  message(FATAL_ERROR "no executable named")
endif()

foreach(file IN LISTS files)
  execute_process(COMMAND ${READELF} -d ${file}
    OUTPUT_VARIABLE dynamic RESULT_VARIABLE status ERROR_VARIABLE errors)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${READELF} -d ${file} failed: ${errors}")
  endif()
  string(REGEX MATCHALL "\\(NEEDED\\)[^\n]*\\[[^]\n]*\\]" needed "${dynamic}")
  # A list without Qt's core means the output was not what this reads.
  if(NOT needed MATCHES "libQt6Core\\.so")
    message(FATAL_ERROR "${file}: no libQt6Core among the needed libraries:\n${dynamic}")
  endif()
  if(needed MATCHES "libQt6(Gui|Widgets)\\.so")
    string(REPLACE ";" "\n" shown "${needed}")
    message(FATAL_ERROR "${file} needs a GUI library:\n${shown}")
  endif()
  list(LENGTH needed count)
  message(STATUS "${file}: ${count} needed libraries, none of them a GUI library")
endforeach()
