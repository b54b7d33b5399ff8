# The run path of a target that is installed. CMake links such a target with its
# build-tree run path and an empty entry after it, room it keeps to rewrite the path
# at install; the loader reads an empty entry as the working directory. So these
# targets are linked once with their installed run path, and the build tree is laid
# out so that the same path finds the same things there.
function(set_installed_run_path target)
  set_target_properties(${target} PROPERTIES BUILD_WITH_INSTALL_RPATH ON INSTALL_RPATH "${ARGN}")
endfunction()
