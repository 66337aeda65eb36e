# Installation as a package: headers, resources, the CMake package
# (find_package(Morvex) with Morvex::core and the optional components video
# and display) and pkg-config files. The targets' own install() rules sit
# beside their definitions; they fill the export sets used here.
include(CMakePackageConfigHelpers)

set(MORVEX_INSTALL_CMAKEDIR ${CMAKE_INSTALL_LIBDIR}/cmake/Morvex)
set(MORVEX_INSTALL_DATADIR ${CMAKE_INSTALL_DATADIR}/morvex)

install(DIRECTORY ${PROJECT_SOURCE_DIR}/include/
        DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}
        FILES_MATCHING PATTERN "*.h")
# The programs look for <prefix>/bin/../share/morvex.
install(DIRECTORY ${PROJECT_SOURCE_DIR}/resources/ DESTINATION ${MORVEX_INSTALL_DATADIR})
install(FILES ${MORVEX_RESOURCE_DIR}/demo_clip.avi ${MORVEX_RESOURCE_DIR}/demo_clip_truth.txt
        DESTINATION ${MORVEX_INSTALL_DATADIR} OPTIONAL)

# Imported names: Morvex::core, Morvex::video, Morvex::display (the same as
# the aliases inside this build).
set(MORVEX_COMPONENTS core)
set_target_properties(morvex PROPERTIES EXPORT_NAME core)
install(EXPORT MorvexCoreTargets NAMESPACE Morvex:: DESTINATION ${MORVEX_INSTALL_CMAKEDIR})
if(TARGET morvex_video)
  list(APPEND MORVEX_COMPONENTS video)
  set_target_properties(morvex_video PROPERTIES EXPORT_NAME video)
  install(EXPORT MorvexVideoTargets NAMESPACE Morvex:: DESTINATION ${MORVEX_INSTALL_CMAKEDIR})
endif()
if(TARGET morvex_display)
  list(APPEND MORVEX_COMPONENTS display)
  set_target_properties(morvex_display PROPERTIES EXPORT_NAME display)
  install(EXPORT MorvexDisplayTargets NAMESPACE Morvex:: DESTINATION ${MORVEX_INSTALL_CMAKEDIR})
endif()

# A static core is C++ inside: C programs must also link the C++ runtime,
# and static video needs FFmpeg at the program's link.
get_target_property(_morvex_type morvex TYPE)
if(_morvex_type STREQUAL "STATIC_LIBRARY")
  set(MORVEX_STATIC ON)
  # For CMake consumers too: a C-only project links with the C driver.
  target_link_libraries(morvex INTERFACE $<INSTALL_INTERFACE:stdc++>)
  set(MORVEX_PC_LIBS "-lstdc++ -lm -pthread")
  set(MORVEX_PC_LIBS_PRIVATE "")
  set(MORVEX_PC_VIDEO_REQUIRES "morvex libavformat libavdevice libavcodec libswscale libavutil")
  set(MORVEX_PC_VIDEO_REQUIRES_PRIVATE "")
else()
  set(MORVEX_STATIC OFF)
  set(MORVEX_PC_LIBS "")
  set(MORVEX_PC_LIBS_PRIVATE "-lstdc++ -lm -pthread")
  set(MORVEX_PC_VIDEO_REQUIRES "morvex")
  set(MORVEX_PC_VIDEO_REQUIRES_PRIVATE "libavformat libavdevice libavcodec libswscale libavutil")
endif()

configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/MorvexConfig.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/MorvexConfig.cmake
  INSTALL_DESTINATION ${MORVEX_INSTALL_CMAKEDIR}
  PATH_VARS MORVEX_INSTALL_DATADIR)
# 0.x releases: a minor version may change the interface.
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/MorvexConfigVersion.cmake
  COMPATIBILITY SameMinorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/MorvexConfig.cmake
              ${CMAKE_CURRENT_BINARY_DIR}/MorvexConfigVersion.cmake
        DESTINATION ${MORVEX_INSTALL_CMAKEDIR})

# pkg-config files find their prefix from their own place (${pcfiledir}),
# so an installed tree can be moved, or installed with --prefix.
file(RELATIVE_PATH MORVEX_PC_PREFIX_REL "/p/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/p")
string(REGEX REPLACE "/$" "" MORVEX_PC_PREFIX_REL "${MORVEX_PC_PREFIX_REL}")
set(_morvex_pc morvex)
if(TARGET morvex_video)
  list(APPEND _morvex_pc morvex-video)
endif()
if(TARGET morvex_display)
  list(APPEND _morvex_pc morvex-display)
endif()
foreach(pc IN LISTS _morvex_pc)
  configure_file(${CMAKE_CURRENT_LIST_DIR}/${pc}.pc.in ${CMAKE_CURRENT_BINARY_DIR}/${pc}.pc @ONLY)
  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/${pc}.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
endforeach()

# Shared libraries in a private prefix: installed programs find them
# relative to themselves.
if(NOT MORVEX_STATIC)
  foreach(exe mvtrack mvviewer mvcamera mvmarker mvrender)
    if(TARGET ${exe})
      set_target_properties(${exe} PROPERTIES INSTALL_RPATH "$ORIGIN/../${CMAKE_INSTALL_LIBDIR}")
    endif()
  endforeach()
  # The capture and display libraries find the core beside them, also for
  # programs that do not link the core themselves.
  foreach(lib morvex_video morvex_display)
    if(TARGET ${lib})
      set_target_properties(${lib} PROPERTIES INSTALL_RPATH "$ORIGIN")
    endif()
  endforeach()
endif()
