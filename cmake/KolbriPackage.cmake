# Release packages, made by `cmake --build <tree> --target package`:
#   kolbri-<version>-win32.zip / -win64-64bit-module-only.zip  the viewer, its help, a read-me
#   kolbri-<version>-win32-setup.exe / -win64-setup.exe  the same as a per-user installer
#   kolbri-<version>-demo-win32.zip (32-bit tree)    the viewer with the stand-in module,
#                                                    two plug-ins and the sample title
# and beside them SHA256SUMS and the package managers' manifests (manifests/,
# written by cmake/cpack/manifests.cmake once the packages exist).
# The user of the first four has the real common module; the demo is for trying
# the program without it. Install components: `viewer` and `demo`.
#
# The 32-bit edition is the product and says nothing about its architecture.
# The 64-bit one lives beside it under names of its own (folder and uninstall
# key kolbri-x64, entry "コルブリ (64-bit)") and says everywhere that the module
# in the field, being 32-bit, does not work with it.

set(V ${PROJECT_VERSION})
if(KOLBRI_ARCH STREQUAL i686)
  set(KOLBRI_PACKAGE_ARCH win32)
  set(CPACK_KOLBRI_NSIS_TARGET x86-unicode)
  set(KOLBRI_EDITION kolbri)   # folder, uninstall key = winget's product code, scoop name
  set(KOLBRI_EDITION_NAME "コルブリ")
  set(KOLBRI_ZIP_NAME kolbri-${V}-win32)
  set(KOLBRI_WINGET_ID Kolbri.Kolbri)
  set(KOLBRI_WINGET_ARCH x86)
  set(EDITION_TITLE "")
  set(EDITION_NOTE_JA "")
  set(EDITION_NOTE_EN "")
  set(EDITION_MODULE_JA "")
  set(EDITION_MODULE_EN "")
else()
  set(KOLBRI_PACKAGE_ARCH win64)
  set(CPACK_KOLBRI_NSIS_TARGET amd64-unicode)
  set(KOLBRI_EDITION kolbri-x64)
  set(KOLBRI_EDITION_NAME "コルブリ (64-bit)")
  set(KOLBRI_ZIP_NAME kolbri-${V}-win64-64bit-module-only)
  set(KOLBRI_WINGET_ID Kolbri.Kolbri.x64)
  set(KOLBRI_WINGET_ARCH x64)
  set(EDITION_TITLE " (64-bit)")
  # CRLF like the read-me around it (configure_file leaves values as they are).
  set(EDITION_NOTE_JA "\r\nこの 64 ビット版は、64 ビット版の kolbri.dll と Plug-in でだけ動きます。\r\n\
出回っている kolbri.dll と Plug-in は 32 ビットで、この版では使えません。それらには\r\n\
32 ビット版 (kolbri-${V}-win32.zip または kolbri-${V}-win32-setup.exe) を使ってください。\r\n")
  set(EDITION_NOTE_EN "\r\nThis 64-bit edition works only with 64-bit builds of kolbri.dll and the\r\n\
plug-ins. The kolbri.dll and plug-ins in the field are 32-bit and do not work\r\n\
with it: for them, take the 32-bit edition (kolbri-${V}-win32.zip or\r\n\
kolbri-${V}-win32-setup.exe).\r\n")
  set(EDITION_MODULE_JA " 64 ビット版の")
  set(EDITION_MODULE_EN " 64-bit")
endif()
set(EDITION_DIR ${KOLBRI_EDITION})
set(KOLBRI_SETUP_NAME kolbri-${V}-${KOLBRI_PACKAGE_ARCH}-setup)
# Setup's exit code when the viewer of its edition runs and it changed nothing
# (winget's packageInUse).
set(KOLBRI_IN_USE_EXIT 3)

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
set(ARCH ${KOLBRI_PACKAGE_ARCH})
foreach(c ${components})
  # CRLF: Notepad before Windows 10 shows a file of LF lines as one line.
  configure_file(res/readme-${c}.txt.in res/readme-${c}.txt @ONLY NEWLINE_STYLE CRLF)
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
set(CPACK_PACKAGE_VENDOR ${KOLBRI_PUBLISHER})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_INSTALL_DIRECTORY ${KOLBRI_EDITION})
set(CPACK_PACKAGE_INSTALL_REGISTRY_KEY ${KOLBRI_EDITION})
set(CPACK_SYSTEM_NAME ${KOLBRI_PACKAGE_ARCH})
set(CPACK_GENERATOR ZIP NSIS)
set(CPACK_COMPONENTS_ALL ${components})
# One zip per component, each named for itself, with no top folder inside.
set(CPACK_ARCHIVE_COMPONENT_INSTALL ON)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
set(CPACK_ARCHIVE_VIEWER_FILE_NAME ${KOLBRI_ZIP_NAME})
set(CPACK_ARCHIVE_DEMO_FILE_NAME kolbri-${PROJECT_VERSION}-demo-${KOLBRI_PACKAGE_ARCH})
# The installer holds the viewer alone (cmake/cpack/options.cmake).
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_SOURCE_DIR}/cmake/cpack/options.cmake)
set(CPACK_NSIS_PACKAGE_NAME "${KOLBRI_EDITION_NAME} ${PROJECT_VERSION}")
set(CPACK_NSIS_DISPLAY_NAME ${KOLBRI_EDITION_NAME})
set(CPACK_NSIS_MUI_ICON ${KOLBRI_ICON})
set(CPACK_NSIS_MUI_UNIICON ${KOLBRI_ICON})
set(CPACK_NSIS_UNINSTALL_NAME uninstall)
set(CPACK_KOLBRI_SETUP_NAME ${KOLBRI_SETUP_NAME})
set(CPACK_KOLBRI_HOMEPAGE ${KOLBRI_HOMEPAGE})
set(CPACK_KOLBRI_RUNNING_MUTEX ${KOLBRI_RUNNING_MUTEX})
set(CPACK_KOLBRI_IN_USE_EXIT ${KOLBRI_IN_USE_EXIT})

# SHA256SUMS and the manifests, after the last generator (cmake/cpack/manifests.cmake).
set(packages ${KOLBRI_ZIP_NAME}.zip ${KOLBRI_SETUP_NAME}.exe)
if(KOLBRI_DEMO)
  list(APPEND packages ${CPACK_ARCHIVE_DEMO_FILE_NAME}.zip)
endif()
set(CPACK_KOLBRI_PACKAGES ${packages})
set(CPACK_KOLBRI_OUT ${CMAKE_BINARY_DIR})
set(CPACK_KOLBRI_TEMPLATES ${CMAKE_SOURCE_DIR}/cmake/cpack)
foreach(v EDITION EDITION_NAME ZIP_NAME WINGET_ID WINGET_ARCH PUBLISHER COPYRIGHT LICENSE
          DOWNLOAD_URL)
  set(CPACK_KOLBRI_${v} ${KOLBRI_${v}})
endforeach()
set(CPACK_POST_BUILD_SCRIPTS ${CMAKE_SOURCE_DIR}/cmake/cpack/manifests.cmake)
list(PREPEND CMAKE_MODULE_PATH ${CMAKE_SOURCE_DIR}/cmake/cpack)   # our NSIS.template.in
include(CPack)
