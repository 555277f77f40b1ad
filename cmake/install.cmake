# Installing and packaging: the programs and the shipped resources in PREFIX/lib/kelvarin (resources sit
# beside the executables), links in PREFIX/bin, a desktop entry and an icon; `cpack -G DEB` in the build
# folder makes a Debian package whose dependencies are the library packages the programs link.
set(KV_PROGRAMS kelvarin kelvarin-editor kelvarin-plain kelvarin-render kelvarin-preset)
install(TARGETS ${KV_PROGRAMS} RUNTIME DESTINATION lib/kelvarin)

# The pristine shipped files, not bin/resources, which holds what the developer saved and recorded.
set(kv_shipped ${CMAKE_BINARY_DIR}/generated/title.jpg ${CMAKE_BINARY_DIR}/presets/playlist)
foreach(slot RANGE 7)
  list(APPEND kv_shipped ${CMAKE_BINARY_DIR}/presets/save-${slot}.dat)
endforeach()
install(FILES ${kv_shipped} DESTINATION lib/kelvarin/resources)

# Relative links, so the installed tree works under any prefix and inside the package.
file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/install/bin)
foreach(program IN LISTS KV_PROGRAMS)
  file(CREATE_LINK ../lib/kelvarin/${program} ${CMAKE_BINARY_DIR}/install/bin/${program} SYMBOLIC)
  install(FILES ${CMAKE_BINARY_DIR}/install/bin/${program} DESTINATION bin)
endforeach()

# The icon: the middle of the title image at 256 x 256.
add_executable(kv_icon_image apps/kelvarin/icon-image.cpp)
target_link_libraries(kv_icon_image PRIVATE PkgConfig::KV_STB)
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/generated/kelvarin.png
  COMMAND kv_icon_image ${CMAKE_BINARY_DIR}/generated/title.jpg ${CMAKE_BINARY_DIR}/generated/kelvarin.png
  DEPENDS kv_icon_image ${CMAKE_BINARY_DIR}/generated/title.jpg)
add_custom_target(kelvarin_icon ALL DEPENDS ${CMAKE_BINARY_DIR}/generated/kelvarin.png)
install(FILES ${CMAKE_BINARY_DIR}/generated/kelvarin.png DESTINATION share/icons/hicolor/256x256/apps)

# The desktop entry names the programs by the prefix chosen at install time.
install(CODE "
  set(KV_BIN \"\${CMAKE_INSTALL_PREFIX}/bin\")
  configure_file(\"${CMAKE_SOURCE_DIR}/resources/kelvarin.desktop.in\" \"${CMAKE_BINARY_DIR}/install/kelvarin.desktop\" @ONLY)")
install(FILES ${CMAKE_BINARY_DIR}/install/kelvarin.desktop DESTINATION share/applications)

set(CPACK_PACKAGE_NAME kelvarin)
set(CPACK_PACKAGE_VERSION 1.0.0)
set(CPACK_PACKAGE_VENDOR Kelvarin)
set(CPACK_PACKAGE_CONTACT "Kelvarin developers <kelvarin@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "live-performance synthesizer with audio-driven visuals")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_STRIP_FILES ON)  # the package ships the programs without their debugging information
include(CPack)
