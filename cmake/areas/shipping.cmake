# The shipped instrument: readable preset sources and the tool that turns them into slot files.
kv_library(kv_preset_text SOURCES apps/kelvarin/preset_text.cpp LIBS kv_presets kv_engine)

add_executable(kelvarin-preset apps/kelvarin/preset_tool.cpp)
target_link_libraries(kelvarin-preset PRIVATE kv_preset_text)

kv_test(preset_text_test LABEL unit SOURCES tests/shipping/preset_text_test.cpp LIBS kv_preset_text)
kv_script_test(preset_tool_test LABEL system
  COMMAND ${CMAKE_SOURCE_DIR}/tests/shipping/preset_tool_test.sh $<TARGET_FILE:kelvarin-preset> ${CMAKE_BINARY_DIR}/bin/resources
  DEPENDS kelvarin-preset kelvarin_resources)

# The demo performance: eight slots and a playlist built from the readable sources in presets/, installed
# into bin/resources only where the performer has no file of that name yet.
foreach(slot RANGE 7)
  set(built ${CMAKE_BINARY_DIR}/presets/save-${slot}.dat)
  add_custom_command(OUTPUT ${built}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/presets
    COMMAND kelvarin-preset build ${CMAKE_SOURCE_DIR}/presets/slot-${slot}.txt ${built}
    DEPENDS kelvarin-preset ${CMAKE_SOURCE_DIR}/presets/slot-${slot}.txt)
  kv_resource(SOURCE ${built} NAME save-${slot}.dat KEEP)
endforeach()
set(built ${CMAKE_BINARY_DIR}/presets/playlist)
add_custom_command(OUTPUT ${built}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/presets
  COMMAND kelvarin-preset playlist ${CMAKE_SOURCE_DIR}/presets/playlist.txt ${built}
  DEPENDS kelvarin-preset ${CMAKE_SOURCE_DIR}/presets/playlist.txt)
kv_resource(SOURCE ${built} NAME playlist KEEP)

# The built slots and playlist, for the tests that compare an installed tree with them.
foreach(slot RANGE 7)
  list(APPEND shipped_presets ${CMAKE_BINARY_DIR}/presets/save-${slot}.dat)
endforeach()
add_custom_target(shipped_presets DEPENDS ${shipped_presets} ${CMAKE_BINARY_DIR}/presets/playlist)
