# Install layout (cmake --install build --prefix P):
#   P/lib/libzyn.so*            the engine (with SONAME)
#   P/lib/zyn/plug-*.so         the output plug-ins; an installed libzyn.so looks
#                               here when the host program's folder has none
#   P/include/zyn.h, zyn_kernels.h, zyn_plugout.h
#   P/lib/pkgconfig/zyn.pc      relocatable (paths relative to the .pc file)
#   P/lib/cmake/zyn/            zynConfig.cmake, its version file, zyn::zyn
#   P/bin/zynplay               the player
#   P/bin/zyn-scene             launcher of the scene in P/share/zyn/scene
include(CMakePackageConfigHelpers)

set(ZYN_INSTALL_PLUGINDIR ${CMAKE_INSTALL_LIBDIR}/zyn)
set(ZYN_INSTALL_CMAKEDIR ${CMAKE_INSTALL_LIBDIR}/cmake/zyn)
set(ZYN_INSTALL_PKGCONFIGDIR ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
set(ZYN_INSTALL_SCENEDIR ${CMAKE_INSTALL_DATADIR}/zyn/scene)

install(TARGETS zyn EXPORT zynTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(FILES ${PROJECT_SOURCE_DIR}/include/zyn.h ${PROJECT_SOURCE_DIR}/include/zyn_kernels.h
  ${PROJECT_SOURCE_DIR}/include/zyn_plugout.h
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})

# Every plug-in target made in plugins/, whichever the build enabled.
get_property(zyn_plugin_targets DIRECTORY ${PROJECT_SOURCE_DIR}/plugins PROPERTY BUILDSYSTEM_TARGETS)
foreach(target IN LISTS zyn_plugin_targets)
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "MODULE_LIBRARY")
    install(TARGETS ${target} LIBRARY DESTINATION ${ZYN_INSTALL_PLUGINDIR})
  endif()
endforeach()

if(TARGET zynplay)
  install(TARGETS zynplay RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()

# The scene runs from its own folder (it reads ./data/ and ./lib/): program and
# data go to share/zyn/scene, lib/ there links to the installed plug-ins, and a
# launcher in bin/ changes into that folder.
if(TARGET zyn-scene)
  file(RELATIVE_PATH zyn_scene_to_lib ${CMAKE_INSTALL_PREFIX}/${ZYN_INSTALL_SCENEDIR}
       ${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_LIBDIR})
  set_target_properties(zyn-scene PROPERTIES INSTALL_RPATH "$ORIGIN/${zyn_scene_to_lib}")
  install(TARGETS zyn-scene RUNTIME DESTINATION ${ZYN_INSTALL_SCENEDIR})
  install(DIRECTORY ${CMAKE_BINARY_DIR}/data/ DESTINATION ${ZYN_INSTALL_SCENEDIR}/data)
  install(CODE "
    set(scene \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${ZYN_INSTALL_SCENEDIR}\")
    file(REMOVE_RECURSE \"\${scene}/lib\")
    file(CREATE_LINK \"${zyn_scene_to_lib}/zyn\" \"\${scene}/lib\" SYMBOLIC)")
  file(RELATIVE_PATH zyn_bin_to_scene ${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}
       ${CMAKE_INSTALL_PREFIX}/${ZYN_INSTALL_SCENEDIR})
  configure_file(${PROJECT_SOURCE_DIR}/cmake/zyn-scene.in ${CMAKE_BINARY_DIR}/install/zyn-scene @ONLY)
  install(PROGRAMS ${CMAKE_BINARY_DIR}/install/zyn-scene DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()

# pkg-config: paths relative to the .pc file, so the prefix given to
# cmake --install (not the one configured) is the one that counts.
file(RELATIVE_PATH zyn_pc_to_prefix ${CMAKE_INSTALL_PREFIX}/${ZYN_INSTALL_PKGCONFIGDIR} ${CMAKE_INSTALL_PREFIX})
string(REGEX REPLACE "/$" "" zyn_pc_to_prefix "${zyn_pc_to_prefix}")
configure_file(${PROJECT_SOURCE_DIR}/cmake/zyn.pc.in ${CMAKE_BINARY_DIR}/install/zyn.pc @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/install/zyn.pc DESTINATION ${ZYN_INSTALL_PKGCONFIGDIR})

# CMake package: find_package(zyn) gives the imported target zyn::zyn.
install(EXPORT zynTargets NAMESPACE zyn:: DESTINATION ${ZYN_INSTALL_CMAKEDIR})
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/zynConfig.cmake.in
  ${CMAKE_BINARY_DIR}/install/zynConfig.cmake
  INSTALL_DESTINATION ${ZYN_INSTALL_CMAKEDIR}
  PATH_VARS CMAKE_INSTALL_INCLUDEDIR ZYN_INSTALL_PLUGINDIR)
write_basic_package_version_file(${CMAKE_BINARY_DIR}/install/zynConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMinorVersion)
install(FILES ${CMAKE_BINARY_DIR}/install/zynConfig.cmake ${CMAKE_BINARY_DIR}/install/zynConfigVersion.cmake
  DESTINATION ${ZYN_INSTALL_CMAKEDIR})
