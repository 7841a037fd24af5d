# Read by CPack for each package it builds (CPACK_PROJECT_CONFIG_FILE). The zip unpacks into a
# folder of its own; the installer picks its folder itself.
if(CPACK_GENERATOR STREQUAL "ZIP")
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
else()
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
endif()
