# Resources carried inside an executable: the pictures, the two libraries and
# the payload of the updater, test data of the tests.
#
# updater_embed_resource(TARGET TYPE NAME FILE) embeds FILE into TARGET as
# the resource NAME of type TYPE, found again through platform::Resources:
# - Windows: a PE resource compiled with windres, language 1049 (Russian);
# - Linux: FILE's bytes appended to the linked executable, followed by an
#   index (platform/posix/resource_index.h), by updater-resource-append after
#   every link. Changing FILE relinks the executable.

if(WIN32)
  enable_language(RC)
endif()

function(updater_embed_resource target type name file)
  get_filename_component(file ${file} ABSOLUTE)
  if(WIN32)
    set(script ${CMAKE_CURRENT_BINARY_DIR}/resources/${target}_${type}_${name}.rc)
    file(WRITE ${script}.in "LANGUAGE 0x19, 0x01\n${name} ${type} \"${file}\"\n")
    configure_file(${script}.in ${script} COPYONLY)
    target_sources(${target} PRIVATE ${script})
    set_property(SOURCE ${script} APPEND PROPERTY OBJECT_DEPENDS ${file})
  else()
    add_custom_command(TARGET ${target} POST_BUILD
                       COMMAND updater_resource_append $<TARGET_FILE:${target}> ${type} ${name}
                               ${file}
                       VERBATIM)
    set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${file})
    add_dependencies(${target} updater_resource_append)
  endif()
endfunction()

# updater_embed_payload(TARGET) embeds the payload of the sample product
# (sample/CMakeLists.txt: the new version packed as files.exe) into TARGET as
# the resource EXEFILE/FILES, which ExtractPayloadResource writes out.
function(updater_embed_payload target)
  get_property(archive GLOBAL PROPERTY UPDATER_PAYLOAD_ARCHIVE)
  if(NOT archive)
    message(FATAL_ERROR "updater_embed_payload(${target}): the sample product is not defined yet")
  endif()
  updater_embed_resource(${target} EXEFILE FILES ${archive})
  add_dependencies(${target} sample_payload)
endfunction()
