# Read by cpack once per generator: the installer holds the viewer component
# alone, as one unit (no component page), under its own name.
if(CPACK_GENERATOR STREQUAL "NSIS")
  set(CPACK_MONOLITHIC_INSTALL ON)
  set(CPACK_COMPONENTS_ALL viewer)
  list(GET CPACK_INSTALL_CMAKE_PROJECTS 0 tree)
  set(CPACK_INSTALL_CMAKE_PROJECTS "${tree};kolbri;viewer;/")
  set(CPACK_PACKAGE_FILE_NAME ${CPACK_KOLBRI_SETUP_NAME})
endif()
