# cmake -DFOLDER=<folder> -P screenshots_to_png.cmake: every .bmp file of
# FOLDER written again as a .png file beside it, with ImageMagick.
set(convert /usr/bin/convert)  # /usr/local/bin may hold another "convert"
file(GLOB pictures ${FOLDER}/*.bmp)
if(pictures AND NOT EXISTS ${convert})
  message(FATAL_ERROR "ImageMagick's ${convert} is missing: run scripts/setup")
endif()
foreach(picture IN LISTS pictures)
  string(REGEX REPLACE "\\.bmp$" ".png" png ${picture})
  execute_process(COMMAND ${convert} ${picture} ${png} RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "could not write ${png}")
  endif()
  message(STATUS "${png}")
endforeach()
