# kx_add_library(<subsystem> SOURCES ... [PUBLIC ...] [PRIVATE ...])
# One library per subsystem folder: target kx_<subsystem>, alias and exported
# name KXAudio::<subsystem>, file libkxaudio-<subsystem> ("_" as "-"), headers
# installed under include/kxaudio/<folder>/ so that "<folder>/File.h" resolves
# the same way in the tree and installed (platform/widgets is platform_widgets).
include(GNUInstallDirs)

function(kx_add_library sub)
  cmake_parse_arguments(L "" "" "SOURCES;PUBLIC;PRIVATE" ${ARGN})
  add_library(kx_${sub} ${L_SOURCES})
  string(REPLACE "_" "-" file_name ${sub})
  file(RELATIVE_PATH folder ${PROJECT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR})
  add_library(KXAudio::${sub} ALIAS kx_${sub})
  set_target_properties(kx_${sub} PROPERTIES
    EXPORT_NAME ${sub}
    OUTPUT_NAME kxaudio-${file_name}
    VERSION ${PROJECT_VERSION}
    SOVERSION ${KX_SOVERSION})
  target_include_directories(kx_${sub} PUBLIC
    $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}>
    $<BUILD_INTERFACE:${PROJECT_BINARY_DIR}/include>
    $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}/kxaudio>
    $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
  target_link_libraries(kx_${sub} PUBLIC ${L_PUBLIC} PRIVATE $<BUILD_INTERFACE:kx_warnings> ${L_PRIVATE})
  install(TARGETS kx_${sub} EXPORT KXAudioTargets
    LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
    ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
    RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  # This folder's headers only: a subfolder is a library of its own.
  file(GLOB headers CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.h)
  install(FILES ${headers} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/kxaudio/${folder})
  set_property(GLOBAL APPEND PROPERTY KX_LIBRARIES kx_${sub})
endfunction()

# Links the peak filter into a program. The builder finds the filter only by
# class identifier, so a small source that refers to the filter's anchor keeps
# its library linked (and its registering object in a static build).
function(kx_link_peak_filter target)
  if(TARGET kx_peakfilter)
    target_link_libraries(${target} PRIVATE kx_peakfilter)
    target_sources(${target} PRIVATE ${PROJECT_SOURCE_DIR}/cmake/PeakFilterAnchor.cpp)
  endif()
endfunction()
