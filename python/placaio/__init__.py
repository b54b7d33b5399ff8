"""placaio: the interface board on the PC's parallel port, from Python.

The 29 functions of the board library (libplacaio.so.1 on Linux, placaio.dll on
Windows) under their own names, with Python arguments and results:

    import placaio
    placaio.CONECTA(1)          # output 1 on
    placaio.segundos(1)         # whole seconds
    placaio.M1("D")             # motor 1: second output on
    print(placaio.SD_INT())     # [0, 0, 0, 1, 0, 0, 0, 0]

As in the library, no function reports an error: numbers out of range are ignored
and leave the board and the output image as they are. Arguments that are not numbers
(or motor codes) raise TypeError before reaching the library.

The library is loaded at the first call, through the system's loader, or from the
file named by the environment variable PLACAIO_LIBRARY; when it cannot be loaded,
LibraryNotFoundError says what was looked for. espera_on and espera_off, waits with a
time-out, are additions of this package.
"""
from ._loader import ENV_VARIABLE, LIBRARY_NAME, LibraryNotFoundError, load
from ._primitives import (
    APAGA, CONECTA, CONECTADO_INT, CONECTAR, DESCONECTA, DESCONECTAR, EnviaOcteto,
    EsperaOff, EsperaOn, M, M1, M2, M3, M4, M_INT, MOTOR_D, MOTOR_I, MOTOR_P,
    NUM_ANALOGICAS, NUM_ENTRADAS, NUM_MOTORES, NUM_SALIDAS, SA_INT, SALIDA, SALIDA_INT,
    SAW, SAX, SAY, SAZ, SD, SD_INT, VE_INT, VS_INT, entrada, leeanalogica, segundos)
from .waits import espera_off, espera_on

__all__ = [
    # the library's functions
    "APAGA", "CONECTA", "CONECTADO_INT", "CONECTAR", "DESCONECTA", "DESCONECTAR",
    "EnviaOcteto", "EsperaOff", "EsperaOn", "M", "M1", "M2", "M3", "M4", "M_INT", "SALIDA",
    "SALIDA_INT", "SAW", "SAX", "SAY", "SAZ", "SA_INT", "SD", "SD_INT", "VE_INT", "VS_INT",
    "entrada", "leeanalogica", "segundos",
    # the header's sizes and motor codes
    "MOTOR_D", "MOTOR_I", "MOTOR_P", "NUM_ANALOGICAS", "NUM_ENTRADAS", "NUM_MOTORES",
    "NUM_SALIDAS",
    # this package's own
    "ENV_VARIABLE", "LIBRARY_NAME", "LibraryNotFoundError", "load", "espera_off", "espera_on",
]
