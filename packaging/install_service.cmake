# The service's two files whose content depends on the install itself, run at
# install time with tarvik_source_dir, tarvik_bindir, tarvik_unit_dir and
# tarvik_config_dir set (see CMakeLists.txt):
#  - the unit names the program by its installed path, and `make install` and the
#    Debian package install into different prefixes;
#  - the configuration is the administrator's once installed: a later install
#    keeps it, and so does `make uninstall` (it is left out of the manifest), as
#    dpkg keeps a conffile.

foreach(dir IN ITEMS tarvik_bindir tarvik_unit_dir)
    cmake_path(ABSOLUTE_PATH ${dir} BASE_DIRECTORY "${CMAKE_INSTALL_PREFIX}")
endforeach()

set(CMAKE_INSTALL_FULL_BINDIR "${tarvik_bindir}")
set(TARVIK_CONFIG_DIR "${tarvik_config_dir}")
set(unit "${tarvik_unit_dir}/tarvikd.service")
message(STATUS "Installing: $ENV{DESTDIR}${unit}")
configure_file("${tarvik_source_dir}/tarvikd.service" "$ENV{DESTDIR}${unit}" @ONLY)
# The manifest names files as installed, without DESTDIR.
list(APPEND CMAKE_INSTALL_MANIFEST_FILES "${unit}")

set(config "$ENV{DESTDIR}${tarvik_config_dir}/tarvik.ini")
if(EXISTS "${config}")
    message(STATUS "Kept: ${config}")
else()
    message(STATUS "Installing: ${config}")
    file(MAKE_DIRECTORY "$ENV{DESTDIR}${tarvik_config_dir}")
    file(COPY_FILE "${tarvik_source_dir}/tarvik.ini.example" "${config}")
    file(CHMOD "${config}" PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
endif()
