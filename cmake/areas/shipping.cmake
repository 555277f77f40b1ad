# The shipped instrument: readable preset sources and the tool that turns them into slot files.
kv_library(kv_preset_text SOURCES apps/kelvarin/preset_text.cpp LIBS kv_presets kv_engine)

add_executable(kelvarin-preset apps/kelvarin/preset_tool.cpp)
target_link_libraries(kelvarin-preset PRIVATE kv_preset_text)

kv_test(preset_text_test LABEL unit SOURCES tests/shipping/preset_text_test.cpp LIBS kv_preset_text)
kv_script_test(preset_tool_test LABEL system
  COMMAND ${CMAKE_SOURCE_DIR}/tests/shipping/preset_tool_test.sh $<TARGET_FILE:kelvarin-preset>
  DEPENDS kelvarin-preset)
