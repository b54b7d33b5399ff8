# The lift's controller, call queue and cabin display, shared by the program and its tests.
if(TARGET SDL::SDL)
  add_library(lift_core STATIC
    ${CMAKE_CURRENT_LIST_DIR}/cola.cpp
    ${CMAKE_CURRENT_LIST_DIR}/controlador.cpp
    ${CMAKE_CURRENT_LIST_DIR}/cabina.cpp)
  target_include_directories(lift_core PUBLIC ${PROJECT_SOURCE_DIR} ${CMAKE_CURRENT_LIST_DIR})
  target_link_libraries(lift_core PUBLIC board_io platform SDL::SDL Threads::Threads)
endif()

# Draws the cabin pictures. Not run by the build: the pictures are kept in assets/.
# Regenerate them with the target `pictures`.
add_executable(generate_pictures ${PROJECT_SOURCE_DIR}/assets/generate_pictures.cpp)
if(NOT CMAKE_CROSSCOMPILING)
  add_custom_target(pictures
    COMMAND generate_pictures ${PROJECT_SOURCE_DIR}/assets
    DEPENDS generate_pictures
    COMMENT "Drawing the cabin pictures into assets/")
endif()
