# The installed package: KXAudio::<subsystem> targets and KXAudio::KXAudio for
# all of them, a CMake package config with its version file, and kxaudio.pc.
include(CMakePackageConfigHelpers)

get_property(kx_libraries GLOBAL PROPERTY KX_LIBRARIES)
add_library(kx_all INTERFACE)
add_library(KXAudio::KXAudio ALIAS kx_all)
set_target_properties(kx_all PROPERTIES EXPORT_NAME KXAudio)
target_link_libraries(kx_all INTERFACE ${kx_libraries})
install(TARGETS kx_all EXPORT KXAudioTargets COMPONENT dev)

set(KX_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/KXAudio)
install(EXPORT KXAudioTargets NAMESPACE KXAudio:: DESTINATION ${KX_CMAKE_DIR} COMPONENT dev)
configure_package_config_file(cmake/KXAudioConfig.cmake.in ${PROJECT_BINARY_DIR}/KXAudioConfig.cmake
  INSTALL_DESTINATION ${KX_CMAKE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/KXAudioConfigVersion.cmake
  COMPATIBILITY SameMinorVersion)
install(FILES ${PROJECT_BINARY_DIR}/KXAudioConfig.cmake ${PROJECT_BINARY_DIR}/KXAudioConfigVersion.cmake
  DESTINATION ${KX_CMAKE_DIR} COMPONENT dev)

# pkg-config: the libraries in dependency order, highest first.
set(KX_PC_LIBS "")
list(REVERSE kx_libraries)
foreach(lib IN LISTS kx_libraries)
  get_target_property(name ${lib} OUTPUT_NAME)
  string(APPEND KX_PC_LIBS " -l${name}")
endforeach()
# Relative to the .pc file, so that an install under any --prefix is found.
file(RELATIVE_PATH KX_PC_UP "/root/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/root")
string(REGEX REPLACE "/$" "" KX_PC_UP "${KX_PC_UP}")
set(KX_PC_PREFIX "\${pcfiledir}/${KX_PC_UP}")
configure_file(cmake/kxaudio.pc.in ${PROJECT_BINARY_DIR}/kxaudio.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/kxaudio.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT dev)
