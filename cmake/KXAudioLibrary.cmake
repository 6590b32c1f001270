# kx_add_library(<subsystem> SOURCES ... [PUBLIC ...] [PRIVATE ...])
# One library per subsystem folder: target kx_<subsystem>, alias and exported
# name KXAudio::<subsystem>, file libkxaudio-<subsystem> ("_" as "-"), headers
# installed under include/kxaudio/<folder>/ so that "<folder>/File.h" resolves
# the same way in the tree and installed (platform/widgets is platform_widgets).
include(GNUInstallDirs)

# The sources are compiled once, into kx_<subsystem>_objects, from which the
# library is made; a program may link those objects instead of the library
# (peaktool does, to start without looking up libraries).
function(kx_add_library sub)
  cmake_parse_arguments(L "" "" "SOURCES;PUBLIC;PRIVATE" ${ARGN})
  string(REPLACE "_" "-" file_name ${sub})
  file(RELATIVE_PATH folder ${PROJECT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR})
  # The objects use the other subsystems' objects for their usage requirements only.
  string(REGEX REPLACE "KXAudio::([a-z_]+)" "kx_\\1_objects" object_deps "${L_PUBLIC}")
  add_library(kx_${sub}_objects OBJECT ${L_SOURCES})
  target_include_directories(kx_${sub}_objects PUBLIC ${PROJECT_SOURCE_DIR} ${PROJECT_BINARY_DIR}/include)
  target_link_libraries(kx_${sub}_objects PUBLIC ${object_deps} PRIVATE kx_warnings ${L_PRIVATE})

  add_library(kx_${sub} $<TARGET_OBJECTS:kx_${sub}_objects>)
  add_library(KXAudio::${sub} ALIAS kx_${sub})
  set_target_properties(kx_${sub} PROPERTIES
    EXPORT_NAME ${sub}
    OUTPUT_NAME kxaudio-${file_name}
    VERSION ${PROJECT_VERSION}
    SOVERSION ${KX_SOVERSION}
    AUTOMOC OFF
    AUTORCC OFF
    LINKER_LANGUAGE CXX)
  target_include_directories(kx_${sub} PUBLIC
    $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}>
    $<BUILD_INTERFACE:${PROJECT_BINARY_DIR}/include>
    $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}/kxaudio>
    $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
  target_link_libraries(kx_${sub} PUBLIC ${L_PUBLIC} PRIVATE ${L_PRIVATE})
  # The headers use C++20: every user compiles at that level at least.
  target_compile_features(kx_${sub} PUBLIC cxx_std_20)
  install(TARGETS kx_${sub} EXPORT KXAudioTargets
    LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT libs NAMELINK_COMPONENT dev
    ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT dev
    RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT libs)
  # This folder's headers only: a subfolder is a library of its own.
  file(GLOB headers CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.h)
  install(FILES ${headers} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/kxaudio/${folder} COMPONENT dev)
  set_property(GLOBAL APPEND PROPERTY KX_LIBRARIES kx_${sub})
endfunction()

# Programs that build peaks find the peak filter plugin at run time, through
# GStreamer's registry: this only makes sure it is built with them.
function(kx_uses_peak_plugin target)
  if(TARGET gstkxpeaks)
    add_dependencies(${target} gstkxpeaks)
  endif()
endfunction()
