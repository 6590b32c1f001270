# Debian packages (cpack -G DEB in a build configured with
# -DCMAKE_INSTALL_PREFIX=/usr -DKX_DEBIAN=ON):
#   libkxaudio0.2          the shared libraries
#   libkxaudio-dev         headers, CMake package, pkg-config file
#   gstreamer1.0-kxaudio   the peak filter plugin, in GStreamer's plugin folder
#   kxaudio-tools          peaktool (with its manual page) and the test bench
#   kxaudio-designer-plugin  the Qt Designer plugin, in Qt's plugin folder
#                          (where Qt Designer's interfaces were found)
#   qml6-module-kxaudio    the Qt Quick module (import KXAudio) in Qt's QML folder
# Dependencies on other packages come from dpkg-shlibdeps; those between ours
# are declared with the exact version.
option(KX_DEBIAN "Install the Debian documentation files (copyright, changelog) for cpack -G DEB" OFF)

set(KX_DEB_RELEASE 1)
set(KX_DEB_VERSION ${PROJECT_VERSION}-${KX_DEB_RELEASE})
set(KX_DEB_MAINTAINER "kxaudio maintainers <kxaudio@lists.kxaudio.org>")
set(KX_DEB_LIBS libkxaudio${KX_SOVERSION})
set(KX_DEB_DEV libkxaudio-dev)
set(KX_DEB_PLUGIN gstreamer1.0-kxaudio)
set(KX_DEB_TOOLS kxaudio-tools)
set(KX_DEB_DESIGNER kxaudio-designer-plugin)
set(KX_DEB_QML qml6-module-kxaudio)
# Packages of the components this build has (a partial build lacks some).
set(kx_deb_components libs:${KX_DEB_LIBS} dev:${KX_DEB_DEV} plugin:${KX_DEB_PLUGIN} tools:${KX_DEB_TOOLS})
if(TARGET kxaudiodesigner)
  list(APPEND kx_deb_components designer:${KX_DEB_DESIGNER})
endif()
if(TARGET kxaudioqml)
  list(APPEND kx_deb_components qml:${KX_DEB_QML})
endif()

if(KX_DEBIAN)
  # Every package carries the licence as its copyright file and a changelog.
  string(TIMESTAMP KX_DEB_DATE "%a, %d %b %Y %H:%M:%S +0000" UTC)
  configure_file(${CMAKE_CURRENT_LIST_DIR}/debian/changelog.Debian.in ${PROJECT_BINARY_DIR}/debian/changelog.Debian @ONLY)
  execute_process(COMMAND gzip -9nf ${PROJECT_BINARY_DIR}/debian/changelog.Debian)
  foreach(pair IN LISTS kx_deb_components)
    string(REPLACE ":" ";" pair ${pair})
    list(GET pair 0 component)
    list(GET pair 1 package)
    install(FILES ${PROJECT_SOURCE_DIR}/LICENSE RENAME copyright
            DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${package} COMPONENT ${component})
    install(FILES ${PROJECT_BINARY_DIR}/debian/changelog.Debian.gz
            DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${package} COMPONENT ${component})
  endforeach()
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kxaudio)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "${KX_DEB_MAINTAINER}")
set(CPACK_PACKAGE_HOMEPAGE_URL "https://kxaudio.org/")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL "")
foreach(pair IN LISTS kx_deb_components)
  string(REGEX REPLACE ":.*" "" component ${pair})
  list(APPEND CPACK_COMPONENTS_ALL ${component})
endforeach()
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE ${KX_DEB_RELEASE})
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Our own libraries, as built: dpkg-shlibdeps reads them for the packages
# that use them (the dependencies on them are declared, with the version).
get_property(kx_libraries GLOBAL PROPERTY KX_LIBRARIES)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS "")
foreach(lib IN LISTS kx_libraries)
  get_target_property(dir ${lib} BINARY_DIR)
  list(APPEND CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${dir})
endforeach()
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(kx_exact "(= ${KX_DEB_VERSION})")

set(CPACK_DEBIAN_LIBS_PACKAGE_NAME ${KX_DEB_LIBS})
set(CPACK_DEBIAN_LIBS_PACKAGE_SECTION libs)
# The shlibs file for packages built against ours, and the ldconfig trigger
# (CPack's own shlibs would bring maintainer scripts that call ldconfig).
set(kx_shlibs "")
foreach(lib IN LISTS kx_libraries)
  get_target_property(name ${lib} OUTPUT_NAME)
  string(APPEND kx_shlibs "lib${name} ${KX_SOVERSION} ${KX_DEB_LIBS} (>= ${PROJECT_VERSION})\n")
endforeach()
file(WRITE ${PROJECT_BINARY_DIR}/debian/shlibs "${kx_shlibs}")
set(CPACK_DEBIAN_LIBS_PACKAGE_CONTROL_EXTRA ${CMAKE_CURRENT_LIST_DIR}/debian/triggers ${PROJECT_BINARY_DIR}/debian/shlibs)
# Everything but WAV decodes through the plugin.
set(CPACK_DEBIAN_LIBS_PACKAGE_RECOMMENDS "${KX_DEB_PLUGIN} ${kx_exact}, gstreamer1.0-plugins-good, gstreamer1.0-plugins-ugly, gstreamer1.0-libav")
set(CPACK_COMPONENT_LIBS_DESCRIPTION "audio peak building, waveform viewers and playback for Qt 6
kxaudio builds peak data (min/max summaries) from any media GStreamer can
decode, draws it against time with zoom, scrolling, marks and a play
pointer, edits effect envelopes over it, and plays media with a transport
bar, as Qt 6 Widgets components. This package holds the shared libraries.")

set(CPACK_DEBIAN_DEV_PACKAGE_NAME ${KX_DEB_DEV})
set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEV_PACKAGE_DEPENDS "${KX_DEB_LIBS} ${kx_exact}, qt6-base-dev, libgstreamer1.0-dev, libgstreamer-plugins-base1.0-dev")
set(CPACK_COMPONENT_DEV_DESCRIPTION "audio peak and waveform components for Qt 6 - development files
The headers of the kxaudio components, their CMake package
(find_package(KXAudio)) and pkg-config file (kxaudio).")

set(CPACK_DEBIAN_PLUGIN_PACKAGE_NAME ${KX_DEB_PLUGIN})
set(CPACK_DEBIAN_PLUGIN_PACKAGE_DEPENDS "${KX_DEB_LIBS} ${kx_exact}")
set(CPACK_COMPONENT_PLUGIN_DESCRIPTION "GStreamer plugin that reduces audio to peak records
The kxpeaks plugin's kxpeaksink element reduces decoded audio to peak
records, writes the peak files the kxaudio viewers read, and posts its
progress as element messages.")

set(CPACK_DEBIAN_TOOLS_PACKAGE_NAME ${KX_DEB_TOOLS})
set(CPACK_DEBIAN_TOOLS_PACKAGE_DEPENDS "${KX_DEB_LIBS} ${kx_exact}, ${KX_DEB_PLUGIN} ${kx_exact}")
set(CPACK_DEBIAN_TOOLS_PACKAGE_RECOMMENDS "gstreamer1.0-plugins-good, gstreamer1.0-plugins-ugly, gstreamer1.0-libav, gstreamer1.0-alsa | gstreamer1.0-pulseaudio")
set(CPACK_COMPONENT_TOOLS_DESCRIPTION "peak files and waveform data from the command line, and a test bench
peaktool builds peak files of many media files at once, draws them, and
converts them to and from the waveform data that web viewers read.
kxtestbench shows every kxaudio component in one window.")

set(CPACK_DEBIAN_DESIGNER_PACKAGE_NAME ${KX_DEB_DESIGNER})
set(CPACK_DEBIAN_DESIGNER_PACKAGE_SECTION devel)
# Designer loads it, and so does QUiLoader in any program.
set(CPACK_DEBIAN_DESIGNER_PACKAGE_DEPENDS "${KX_DEB_LIBS} ${kx_exact}, libqt6designer6 | libqt6uitools6")
set(CPACK_DEBIAN_DESIGNER_PACKAGE_RECOMMENDS "designer-qt6")
set(CPACK_COMPONENT_DESIGNER_DESCRIPTION "Qt Designer plugin for the kxaudio widgets
Puts the kxaudio peak viewers, effect viewer, WAV viewer, transport bar,
number edit and video panel in Qt Designer's widget box (group KX Audio)
with their properties, and lets QUiLoader make them from forms.")

# The QML module: Qt's QtQuick module is what WaveformView draws into; the
# libraries it loads are computed.
set(CPACK_DEBIAN_QML_PACKAGE_NAME ${KX_DEB_QML})
set(CPACK_DEBIAN_QML_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_QML_PACKAGE_DEPENDS "${KX_DEB_LIBS} ${kx_exact}, qml6-module-qtquick")
set(CPACK_DEBIAN_QML_PACKAGE_RECOMMENDS "${KX_DEB_PLUGIN} ${kx_exact}")
set(CPACK_COMPONENT_QML_DESCRIPTION "Qt Quick module of the kxaudio components (import KXAudio)
WaveformView draws peak data against time with zoom, scrolling, a marked
range, a cursor and a play pointer; PeakBuilder builds the peaks of any
media GStreamer decodes and AudioPlayer plays it, for Qt Quick applications.")

include(CPack)
