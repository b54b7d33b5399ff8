# SDL 1.2 as the imported target SDL::SDL.
# Linux: Debian's libsdl1.2-dev. Windows: cross-built from Debian's source package by
# scripts/build-sdl-windows into SDL_WINDOWS_PREFIX (build/win32-sdl or build/win64-sdl).
# SDL_WINDOWS_DLL is global: folders that never include this file copy the DLL too.
if(WIN32)
  set(SDL_WINDOWS_PREFIX ${PROJECT_SOURCE_DIR}/build/win${PLACAIO_WINDOWS_BITS}-sdl CACHE PATH "Cross-built SDL 1.2")
  set(SDL_WINDOWS_DLL ${SDL_WINDOWS_PREFIX}/bin/SDL.dll CACHE INTERNAL "SDL.dll to put beside programs")
  set(SDL_WINDOWS_LICENCE_DIR ${SDL_WINDOWS_PREFIX}/share/doc/SDL CACHE INTERNAL "SDL's licence, to ship with it")
endif()
if(TARGET SDL::SDL)
  return()
endif()
if(WIN32)
  if(NOT EXISTS ${SDL_WINDOWS_PREFIX}/lib/libSDL.dll.a)
    message(FATAL_ERROR "SDL for Windows not found in ${SDL_WINDOWS_PREFIX}: run scripts/build-sdl-windows ${CMAKE_SYSTEM_PROCESSOR}")
  endif()
  add_library(SDL::SDL SHARED IMPORTED GLOBAL)
  set_target_properties(SDL::SDL PROPERTIES
    IMPORTED_LOCATION ${SDL_WINDOWS_DLL}
    IMPORTED_IMPLIB ${SDL_WINDOWS_PREFIX}/lib/libSDL.dll.a
    INTERFACE_INCLUDE_DIRECTORIES ${SDL_WINDOWS_PREFIX}/include/SDL)
else()
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(SDL12 REQUIRED IMPORTED_TARGET GLOBAL sdl)
  add_library(SDL::SDL ALIAS PkgConfig::SDL12)
endif()
