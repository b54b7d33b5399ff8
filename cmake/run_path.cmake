# The run path of a target that is installed. CMake links such a target with its
# build-tree run path and an empty entry after it, room it keeps to rewrite the path
# at install; the loader reads an empty entry as the working directory. So these
# targets are linked once with their installed run path, and the build tree is laid
# out so that the same path finds the same things there.
function(set_installed_run_path target)
  set_target_properties(${target} PROPERTIES BUILD_WITH_INSTALL_RPATH ON INSTALL_RPATH "${ARGN}")
endfunction()

# Where the installed library looks for its default port driver (the simulated
# board): a folder of its own beside it, <libdir>/placaio/io.so, laid out the same in
# the build tree (lib/placaio). The parallel port's driver goes into parport/ below it.
set(PLACAIO_DRIVER_FOLDER placaio)
set(PLACAIO_INSTALLED_DRIVER_DIR ${CMAKE_INSTALL_LIBDIR}/${PLACAIO_DRIVER_FOLDER})

# The run path of a program in <bindir> to <libdir>/SUBDIR: the installed folder, and
# in the build tree (which has lib/, not the multiarch folder) the same under lib/.
function(run_path_to_libdir out subdir)
  set(path "$ORIGIN/../${CMAKE_INSTALL_LIBDIR}${subdir}")
  if(NOT CMAKE_INSTALL_LIBDIR STREQUAL "lib")
    list(APPEND path "$ORIGIN/../lib${subdir}")
  endif()
  set(${out} "${path}" PARENT_SCOPE)
endfunction()
