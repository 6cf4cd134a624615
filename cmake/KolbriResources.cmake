# Program resources: every program of the tree (the viewer, shellbrowse and the
# test programs, so the tests run the controls that ship) carries the same icon,
# a manifest (common controls 6, asInvoker, per-monitor v2 DPI awareness (system on older Windows), supported
# Windows versions) and a version record from project(VERSION).

if(KOLBRI_ARCH STREQUAL i686)
  set(KOLBRI_MANIFEST_ARCH x86)
else()
  set(KOLBRI_MANIFEST_ARCH amd64)
endif()
set(KOLBRI_VERSION4 ${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${PROJECT_VERSION_PATCH}.0)
string(REPLACE "." "," KOLBRI_VERSION_COMMAS ${KOLBRI_VERSION4})

# The icon is drawn at build time by our own script (res/mkicon.py).
find_package(Python3 REQUIRED COMPONENTS Interpreter)
set(KOLBRI_ICON ${CMAKE_BINARY_DIR}/res/kolbri.ico)
add_custom_command(OUTPUT ${KOLBRI_ICON}
  COMMAND Python3::Interpreter ${CMAKE_SOURCE_DIR}/res/mkicon.py ${KOLBRI_ICON}
  DEPENDS ${CMAKE_SOURCE_DIR}/res/mkicon.py
  COMMENT "Drawing the program icon")
add_custom_target(kolbri_icon DEPENDS ${KOLBRI_ICON})

# kolbri_add_resources(TARGET DESCRIPTION): the resources for one program;
# DESCRIPTION is its file description in Explorer's properties.
function(kolbri_add_resources target description)
  set(KOLBRI_RES_NAME ${target})
  get_target_property(out ${target} OUTPUT_NAME)
  if(out)
    set(KOLBRI_RES_NAME ${out})
  endif()
  set(KOLBRI_RES_DESCRIPTION ${description})
  set(dir ${CMAKE_BINARY_DIR}/res/${target})
  set(KOLBRI_RES_MANIFEST ${dir}/program.manifest)
  configure_file(${CMAKE_SOURCE_DIR}/res/kolbri.manifest.in ${KOLBRI_RES_MANIFEST} @ONLY)
  configure_file(${CMAKE_SOURCE_DIR}/res/program.rc.in ${dir}/program.rc @ONLY)
  set_source_files_properties(${dir}/program.rc PROPERTIES
                              OBJECT_DEPENDS "${KOLBRI_ICON};${KOLBRI_RES_MANIFEST}")
  target_sources(${target} PRIVATE ${dir}/program.rc)
  add_dependencies(${target} kolbri_icon)
endfunction()
