# SDL 1.2 as the imported target SDL::SDL.
# Linux: Debian's libsdl1.2-dev. Windows: cross-built from Debian's source package by
# scripts/build-sdl-win32 into SDL_WIN32_PREFIX.
# SDL_WIN32_DLL is global: folders that never include this file copy the DLL too.
if(WIN32)
  set(SDL_WIN32_PREFIX ${PROJECT_SOURCE_DIR}/build/win32-sdl CACHE PATH "Cross-built SDL 1.2")
  set(SDL_WIN32_DLL ${SDL_WIN32_PREFIX}/bin/SDL.dll CACHE INTERNAL "SDL.dll to put beside programs")
  set(SDL_WIN32_LICENCE_DIR ${SDL_WIN32_PREFIX}/share/doc/SDL CACHE INTERNAL "SDL's licence, to ship with it")
endif()
if(TARGET SDL::SDL)
  return()
endif()
if(WIN32)
  if(NOT EXISTS ${SDL_WIN32_PREFIX}/lib/libSDL.dll.a)
    message(FATAL_ERROR "SDL for Windows not found in ${SDL_WIN32_PREFIX}: run scripts/build-sdl-win32")
  endif()
  add_library(SDL::SDL SHARED IMPORTED GLOBAL)
  set_target_properties(SDL::SDL PROPERTIES
    IMPORTED_LOCATION ${SDL_WIN32_DLL}
    IMPORTED_IMPLIB ${SDL_WIN32_PREFIX}/lib/libSDL.dll.a
    INTERFACE_INCLUDE_DIRECTORIES ${SDL_WIN32_PREFIX}/include/SDL)
else()
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(SDL12 REQUIRED IMPORTED_TARGET GLOBAL sdl)
  add_library(SDL::SDL ALIAS PkgConfig::SDL12)
endif()
