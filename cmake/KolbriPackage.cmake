# Release packages, made by `cmake --build <tree> --target package`:
#   kolbri-<version>-win32.zip / -win64.zip          the viewer, its help, a read-me
#   kolbri-<version>-win32-setup.exe / -win64-setup.exe  the same as a per-user installer
#   kolbri-<version>-demo-win32.zip (32-bit tree)    the viewer with the stand-in module,
#                                                    two plug-ins and the sample title
# The user of the first four has the real common module; the demo is for trying
# the program without it. Install components: `viewer` and `demo`.

if(KOLBRI_ARCH STREQUAL i686)
  set(KOLBRI_PACKAGE_ARCH win32)
  set(CPACK_KOLBRI_NSIS_TARGET x86-unicode)
else()
  set(KOLBRI_PACKAGE_ARCH win64)
  set(CPACK_KOLBRI_NSIS_TARGET amd64-unicode)
endif()

# A tree whose programs cannot run here draws no sample title; it may take the
# one another tree drew (the pictures are the same on both architectures).
set(KOLBRI_SAMPLE_CD "" CACHE PATH "Sample title drawn by another tree, for the demo package")
set(sample_cd ${KOLBRI_BIN}/sample-cd)
if(NOT KOLBRI_CAN_RUN)
  set(sample_cd ${KOLBRI_SAMPLE_CD})
endif()
set(KOLBRI_DEMO OFF)
if(KOLBRI_ARCH STREQUAL i686 AND sample_cd)
  set(KOLBRI_DEMO ON)
elseif(KOLBRI_ARCH STREQUAL i686)
  message(STATUS "No demo package: this tree draws no sample title and KOLBRI_SAMPLE_CD is not set")
endif()

set(components viewer)
if(KOLBRI_DEMO)
  list(APPEND components demo)
endif()
set(V ${PROJECT_VERSION})
set(ARCH ${KOLBRI_PACKAGE_ARCH})
foreach(c ${components})
  configure_file(res/readme-${c}.txt.in res/readme-${c}.txt @ONLY)
  install(TARGETS kolbri RUNTIME DESTINATION . COMPONENT ${c})
  install(DIRECTORY app/help DESTINATION . COMPONENT ${c})
  install(FILES ${CMAKE_BINARY_DIR}/res/readme-${c}.txt DESTINATION . RENAME readme.txt
          COMPONENT ${c})
endforeach()
if(KOLBRI_DEMO)
  install(TARGETS kolbri_standin plugin_sample plugin_folder LIBRARY DESTINATION . COMPONENT demo)
  install(DIRECTORY ${sample_cd}/ DESTINATION sample-cd COMPONENT demo)
endif()

set(CPACK_PACKAGE_NAME kolbri)
set(CPACK_PACKAGE_VENDOR kolbri)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_INSTALL_DIRECTORY kolbri)
set(CPACK_PACKAGE_INSTALL_REGISTRY_KEY kolbri)
set(CPACK_SYSTEM_NAME ${KOLBRI_PACKAGE_ARCH})
set(CPACK_GENERATOR ZIP NSIS)
set(CPACK_COMPONENTS_ALL ${components})
# One zip per component, each named for itself, with no top folder inside.
set(CPACK_ARCHIVE_COMPONENT_INSTALL ON)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
set(CPACK_ARCHIVE_VIEWER_FILE_NAME kolbri-${PROJECT_VERSION}-${KOLBRI_PACKAGE_ARCH})
set(CPACK_ARCHIVE_DEMO_FILE_NAME kolbri-${PROJECT_VERSION}-demo-${KOLBRI_PACKAGE_ARCH})
# The installer holds the viewer alone (cmake/cpack/options.cmake).
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_SOURCE_DIR}/cmake/cpack/options.cmake)
set(CPACK_NSIS_PACKAGE_NAME "コルブリ ${PROJECT_VERSION}")
set(CPACK_NSIS_DISPLAY_NAME "コルブリ")
set(CPACK_NSIS_MUI_ICON ${KOLBRI_ICON})
set(CPACK_NSIS_MUI_UNIICON ${KOLBRI_ICON})
set(CPACK_NSIS_UNINSTALL_NAME uninstall)
set(CPACK_KOLBRI_SETUP_NAME kolbri-${PROJECT_VERSION}-${KOLBRI_PACKAGE_ARCH}-setup)
list(PREPEND CMAKE_MODULE_PATH ${CMAKE_SOURCE_DIR}/cmake/cpack)   # our NSIS.template.in
include(CPack)
