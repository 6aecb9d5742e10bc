# Copies the QGIS plugin folder SOURCE into the QGIS profile's plugins:
# $QGIS_PROFILE_DIR, else ~/.local/share/QGIS/QGIS3/profiles/default.
#   cmake -DSOURCE=hosts/qgis/marbrook -P InstallQgisPlugin.cmake
cmake_minimum_required(VERSION 3.25)
if(DEFINED ENV{QGIS_PROFILE_DIR})
  set(profile "$ENV{QGIS_PROFILE_DIR}")
else()
  set(profile "$ENV{HOME}/.local/share/QGIS/QGIS3/profiles/default")
endif()
set(target "${profile}/python/plugins/marbrook")
file(REMOVE_RECURSE "${target}")
file(COPY "${SOURCE}/" DESTINATION "${target}" PATTERN "__pycache__" EXCLUDE)
message(STATUS "The Marbrook plugin is in ${target}: enable it in QGIS under Plugins > Manage and Install Plugins")
