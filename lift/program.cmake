# The lift program elevmando: its start-up and windows over the controller.
if(NOT TARGET lift_core)
  return()
endif()

# WinMain and the window procedures, shared by the program and its tests.
add_library(lift_program OBJECT ${CMAKE_CURRENT_LIST_DIR}/main.cpp)
target_link_libraries(lift_program PUBLIC lift_core platform SDL::SDL)

add_executable(elevmando $<TARGET_OBJECTS:lift_program>)
target_link_libraries(elevmando PRIVATE lift_core board_io platform SDL::SDL)
if(TARGET board_placaio_lift)
  target_link_libraries(elevmando PRIVATE board_placaio_lift)
endif()

if(WIN32)
  enable_language(RC)
  target_sources(elevmando PRIVATE ${CMAKE_CURRENT_LIST_DIR}/elevmando.rc)
  # windres looks for the manifest beside the .rc.
  set_property(SOURCE ${CMAKE_CURRENT_LIST_DIR}/elevmando.rc APPEND PROPERTY
    OBJECT_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/elevmando.exe.manifest)
  target_link_options(elevmando PRIVATE -mwindows)
  if(EXISTS ${SDL_WIN32_DLL})
    add_custom_command(TARGET elevmando POST_BUILD
      COMMAND ${CMAKE_COMMAND} -E copy_if_different ${SDL_WIN32_DLL} $<TARGET_FILE_DIR:elevmando>)
  endif()
else()
  target_link_libraries(elevmando PRIVATE platform_main)
  # The simulated board is the default port driver; LD_LIBRARY_PATH still chooses.
  set_target_properties(elevmando PROPERTIES BUILD_RPATH ${CMAKE_BINARY_DIR}/drivers/sim)
endif()
