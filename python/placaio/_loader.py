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

#: This Python's bits: a process loads only libraries of its own bits.
BITS = 64 if sys.maxsize > 2**32 else 32

# Where the Windows installer puts the library of each bits, below its folder.
_INSTALLED = {32: ("bin", "placaio.dll"), 64: ("x64", "bin", "placaio.dll")}
_UNINSTALL_KEY = r"Software\Microsoft\Windows\CurrentVersion\Uninstall\placaio"

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
        library = _load_library(path)
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


def _load_library(path: str | None) -> ctypes.CDLL:
    if not _WINDOWS:
        return ctypes.CDLL(path or LIBRARY_NAME)
    if path:
        return ctypes.WinDLL(path)
    # A bare name gets the search a C program's LoadLibrary gets (the program's folder,
    # the system folders, the current folder, PATH); where that finds none of this
    # Python's bits, the installed one of its bits.
    try:
        return ctypes.WinDLL(LIBRARY_NAME, winmode=0)
    except OSError as error:
        installed = installed_library()
        if installed is None or not os.path.isfile(installed):
            raise
        try:
            return ctypes.WinDLL(installed)
        except OSError as second:
            raise OSError(f"{error}; {installed}: {second}") from second


def installed_library() -> str | None:
    """The library of this Python's bits in the folder the Windows installer chose,
    or None where nothing is installed (or not on Windows)."""
    folder = _installed_folder()
    return os.path.join(folder, *_INSTALLED[BITS]) if folder else None


def _installed_folder() -> str | None:
    if not _WINDOWS:
        return None
    import winreg
    for root in (winreg.HKEY_CURRENT_USER, winreg.HKEY_LOCAL_MACHINE):
        try:
            with winreg.OpenKey(root, _UNINSTALL_KEY) as key:
                return winreg.QueryValueEx(key, "InstallLocation")[0]
        except OSError:
            continue
    return None


def library_bits(path: str) -> int | None:
    """32 or 64 for a Windows DLL or a Linux shared library, None if it is neither
    (or cannot be read)."""
    try:
        with open(path, "rb") as f:
            head = f.read(4096)
    except OSError:
        return None
    if head[:4] == b"\x7fELF":
        return {1: 32, 2: 64}.get(head[4])
    if head[:2] != b"MZ" or len(head) < 0x40:
        return None
    pe = int.from_bytes(head[0x3C:0x40], "little")
    if head[pe:pe + 4] != b"PE\0\0":
        return None
    machine = int.from_bytes(head[pe + 4:pe + 6], "little")
    return {0x14C: 32, 0x8664: 64}.get(machine)


def _candidates(path: str | None) -> list[str]:
    """The files the loader could have tried: the named one, or the name in the folders
    a bare name is searched in, and the installed one."""
    if path:
        return [path]
    if _WINDOWS:
        folders = [os.getcwd(), *os.environ.get("PATH", "").split(os.pathsep)]
    else:
        folders = os.environ.get("LD_LIBRARY_PATH", "").split(os.pathsep)
    found = [os.path.join(d, LIBRARY_NAME) for d in folders if d]
    installed = installed_library()
    return [f for f in found if os.path.isfile(f)] + ([installed] if installed else [])


def _other_bits(path: str | None) -> str:
    """What the error says of files of the wrong bits, which the loader refuses."""
    wrong = [f for f in _candidates(path) if library_bits(f) not in (None, BITS)]
    if not wrong:
        return ""
    listed = ", ".join(f"{f} is {library_bits(f)}-bit" for f in wrong)
    return f" ({listed}; this Python is {BITS}-bit)"


def _not_found(path: str | None, error: OSError) -> str:
    if path:
        return f"placaio: cannot load {path}, named by {ENV_VARIABLE}{_other_bits(path)}: {error}"
    if _WINDOWS:
        where = "the program's folder, the system folders, the current folder, PATH"
        installed = installed_library()
        where += f" and the installed {installed}" if installed else " (placaio is not installed)"
    else:
        where = "LD_LIBRARY_PATH and the system's library folders (ldconfig)"
    return (f"placaio: cannot load the {BITS}-bit {LIBRARY_NAME}, looked for in {where}"
            f"{_other_bits(None)}: {error}. Set {ENV_VARIABLE} to the path of the library file")
