"""Finding the board library, loading it once, and the C signature of each export."""
from __future__ import annotations

import ctypes
import os
import sys
import threading

#: The environment variable that names the library file to load instead of searching.
ENV_VARIABLE = "PLACAIO_LIBRARY"

_WINDOWS = sys.platform == "win32"

#: The name the system's loader is asked for when ENV_VARIABLE is not set.
LIBRARY_NAME = "placaio.dll" if _WINDOWS else "libplacaio.so.1"

_i32 = ctypes.c_int32
_i32_buffer = ctypes.POINTER(ctypes.c_int32)
_char_buffer = ctypes.POINTER(ctypes.c_char)

# name: (result, argument types), as in placaio.h.
_SIGNATURES = {
    "SALIDA": (None, (_i32,)),
    "EnviaOcteto": (None, (_i32,)),
    "CONECTAR": (None, ()),
    "DESCONECTAR": (None, ()),
    "CONECTA": (None, (_i32,)),
    "DESCONECTA": (None, (_i32,)),
    "APAGA": (None, (_i32,)),
    "M1": (None, (_i32,)),
    "M2": (None, (_i32,)),
    "M3": (None, (_i32,)),
    "M4": (None, (_i32,)),
    "M": (None, (_char_buffer,)),
    "VS_INT": (_i32, ()),
    "SALIDA_INT": (None, (_i32_buffer,)),
    "M_INT": (None, (_char_buffer,)),
    "CONECTADO_INT": (None, (_char_buffer,)),
    "segundos": (None, (ctypes.c_float,)),
    "VE_INT": (_i32, ()),
    "SD": (_i32, (_i32,)),
    "entrada": (_i32, (_i32,)),
    "SD_INT": (None, (_i32_buffer,)),
    "EsperaOn": (None, (_i32,)),
    "EsperaOff": (None, (_i32,)),
    "SAW": (_i32, ()),
    "SAX": (_i32, ()),
    "SAY": (_i32, ()),
    "SAZ": (_i32, ()),
    "SA_INT": (None, (_i32_buffer,)),
    "leeanalogica": (_i32, (_i32,)),
}


class LibraryNotFoundError(OSError):
    """The board library could not be loaded; the message says what was looked for."""


_lock = threading.Lock()
_library = None


def load() -> ctypes.CDLL:
    """The loaded board library, loading it on the first call.

    Every function of this package calls it, so there is no need to; call it to
    learn at start-up, rather than at the first board call, that the library is
    missing. Raises LibraryNotFoundError, naming what was looked for.
    """
    global _library
    with _lock:
        if _library is None:
            _library = _open()
        return _library


def _open() -> ctypes.CDLL:
    path = os.environ.get(ENV_VARIABLE)
    try:
        if _WINDOWS:
            # __stdcall. A bare name gets the search a C program's LoadLibrary gets
            # (the program's folder, the system folders, the current folder, PATH).
            library = ctypes.WinDLL(path) if path else ctypes.WinDLL(LIBRARY_NAME, winmode=0)
        else:
            library = ctypes.CDLL(path or LIBRARY_NAME)
    except OSError as error:
        raise LibraryNotFoundError(_not_found(path, error)) from error
    for name, (result, arguments) in _SIGNATURES.items():
        try:
            function = getattr(library, name)
        except AttributeError:
            raise LibraryNotFoundError(
                f"placaio: {path or LIBRARY_NAME} was loaded but has no function {name}: "
                "it is not the placaio library") from None
        function.restype = result
        function.argtypes = arguments
    return library


def _not_found(path: str | None, error: OSError) -> str:
    if path:
        return f"placaio: cannot load {path}, named by {ENV_VARIABLE}: {error}"
    if _WINDOWS:
        where = "the program's folder, the system folders, the current folder and PATH"
    else:
        where = "LD_LIBRARY_PATH and the system's library folders (ldconfig)"
    text = (f"placaio: cannot load {LIBRARY_NAME}, looked for in {where}: {error}. "
            f"Set {ENV_VARIABLE} to the path of the library file")
    if _WINDOWS and sys.maxsize > 2**32:
        text += "; placaio.dll is 32-bit and loads only into a 32-bit Python"
    return text
