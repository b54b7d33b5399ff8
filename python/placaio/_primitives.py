"""The library's 29 functions, with Python arguments and results.

The library's calls are not serialised, so this package serialises them: one lock,
held for each call, lets threads share the board. segundos, EsperaOn and EsperaOff
do not take it: they may last for ever, and every other thread would wait as long.

Numbers go to the library as 32-bit integers. A number beyond 32 bits is passed as
the nearest 32-bit one, which lies outside every range the library accepts, so it is
ignored like any other bad number (it is never cut down to a smaller, valid one).
"""
from __future__ import annotations

import ctypes
import numbers
import operator
import threading
from typing import List, Union

from ._loader import load

#: Buffer sizes, in elements, and the motor codes.
NUM_SALIDAS = 8
NUM_MOTORES = 4
NUM_ENTRADAS = 8
NUM_ANALOGICAS = 4
MOTOR_D = "D"  # first output off, second on
MOTOR_I = "I"  # first output on, second off
MOTOR_P = "P"  # both off (read back also when both are on)

MotorCode = Union[str, bytes, int]

_INT32_MIN = -(2**31)
_INT32_MAX = 2**31 - 1
_NO_CODE = 0  # commands nothing
_calls = threading.Lock()


def _int32(value: int) -> int:
    number = operator.index(value)  # TypeError for 1.5, "3", None
    return min(max(number, _INT32_MIN), _INT32_MAX)


def _code(code: MotorCode) -> int:
    """A motor code's number: a one-character string or bytes, or the number itself."""
    if isinstance(code, (str, bytes, bytearray)):
        if len(code) != 1:
            raise ValueError(f"a motor code is one character ('D', 'I' or 'P'), not {code!r}")
        number = code[0] if not isinstance(code, str) else ord(code)
        # A character beyond one byte is no code; its low byte could be one.
        return number if number <= 0xFF else _NO_CODE
    return _int32(code)


def _codes(codes: Union[str, bytes]) -> ctypes.Array:
    if not isinstance(codes, (str, bytes, bytearray)):
        raise TypeError(f"motor codes are a string such as 'DPIP', not {type(codes).__name__}")
    if len(codes) != NUM_MOTORES:
        raise ValueError(f"M takes {NUM_MOTORES} motor codes, motor 1 first (e.g. 'DPIP'), "
                         f"not {codes!r}")
    return (ctypes.c_char * NUM_MOTORES)(*(_code(codes[m:m + 1]) for m in range(NUM_MOTORES)))


def _pause(seconds: float) -> float:
    if not isinstance(seconds, numbers.Real):
        raise TypeError(f"a pause is a number of seconds, not {type(seconds).__name__}")
    return float(seconds)


# ---- outputs (numbers 1..8; the output image starts at 0 when the library loads)

def SALIDA(v: int) -> None:
    """All eight outputs at once, v in 0..255 (bit n-1 is output n); other v are ignored."""
    with _calls:
        load().SALIDA(_int32(v))


def EnviaOcteto(v: int) -> None:
    """The same as SALIDA."""
    with _calls:
        load().EnviaOcteto(_int32(v))


def CONECTAR() -> None:
    """All outputs on."""
    with _calls:
        load().CONECTAR()


def DESCONECTAR() -> None:
    """All outputs off."""
    with _calls:
        load().DESCONECTAR()


def CONECTA(n: int) -> None:
    """Output n (1..8) on; other n are ignored."""
    with _calls:
        load().CONECTA(_int32(n))


def DESCONECTA(n: int) -> None:
    """Output n (1..8) off; other n are ignored."""
    with _calls:
        load().DESCONECTA(_int32(n))


def APAGA(n: int) -> None:
    """The same as DESCONECTA."""
    with _calls:
        load().APAGA(_int32(n))


# ---- motors (motor m owns outputs 2m-1, its first, and 2m, its second)

def M1(codigo: MotorCode) -> None:
    """Motor 1: 'D' second output on, 'I' first output on, 'P' both off.

    The code is a one-character string ("D") or its number (68); the library reads
    the low 8 bits of a number. Any other code does nothing.
    """
    with _calls:
        load().M1(_code(codigo))


def M2(codigo: MotorCode) -> None:
    """Motor 2 (outputs 3 and 4), as M1."""
    with _calls:
        load().M2(_code(codigo))


def M3(codigo: MotorCode) -> None:
    """Motor 3 (outputs 5 and 6), as M1."""
    with _calls:
        load().M3(_code(codigo))


def M4(codigo: MotorCode) -> None:
    """Motor 4 (outputs 7 and 8), as M1."""
    with _calls:
        load().M4(_code(codigo))


def M(codigos: Union[str, bytes]) -> None:
    """Motors 1..4 from four codes, motor 1 first, e.g. M("DPIP").

    Each code as for M1; a code other than 'D', 'I' or 'P' leaves its motor as it is.
    Raises ValueError unless there are exactly four.
    """
    with _calls:
        load().M(_codes(codigos))


# ---- read-backs, from the output image (never from the board)

def VS_INT() -> int:
    """The output image, 0..255: bit n-1 set while output n is on."""
    with _calls:
        return load().VS_INT()


def SALIDA_INT() -> List[int]:
    """Eight values, element n-1 is 1 if output n is on, else 0."""
    values = (ctypes.c_int32 * NUM_SALIDAS)()
    with _calls:
        load().SALIDA_INT(values)
    return list(values)


def M_INT() -> str:
    """The four motors' codes, motor 1 first, each 'D', 'I' or 'P', e.g. "DPIP"."""
    codes = (ctypes.c_char * NUM_MOTORES)()
    with _calls:
        load().M_INT(codes)
    return codes.raw.decode("latin-1")


def CONECTADO_INT() -> List[int]:
    """Four values, element m-1 is 1 if exactly one output of motor m is on, else 0."""
    connected = (ctypes.c_char * NUM_MOTORES)()
    with _calls:
        load().CONECTADO_INT(connected)
    return list(connected.raw)


# ---- pause

def segundos(pausa: float) -> None:
    """Pauses whole seconds: the fraction is dropped, so 0.5 is no pause and 2.9 is two
    seconds. Negative, NaN and too large values return at once."""
    load().segundos(_pause(pausa))


# ---- digital inputs (numbers 1..8, 1 meaning on)

def VE_INT() -> int:
    """The eight inputs as one byte 0..255, input n in bit n-1."""
    with _calls:
        return load().VE_INT()


def SD(n: int) -> int:
    """1 if input n is on, else 0. Not range-tested: n <= 0 gives 1, n >= 9 gives 0."""
    with _calls:
        return load().SD(_int32(n))


def entrada(n: int) -> int:
    """The same as SD."""
    with _calls:
        return load().entrada(_int32(n))


def SD_INT() -> List[int]:
    """Eight values, element i is 1 if input i+1 is on, else 0, all from one reading."""
    values = (ctypes.c_int32 * NUM_ENTRADAS)()
    with _calls:
        load().SD_INT(values)
    return list(values)


def EsperaOn(n: int) -> None:
    """Waits, without time-out, until input n is on; n outside 1..8 returns at once.

    Ctrl-C cannot end it: espera_on(n, timeout) is the wait with a time-out.
    """
    load().EsperaOn(_int32(n))


def EsperaOff(n: int) -> None:
    """Waits, without time-out, until input n is off; n outside 1..8 returns at once.

    Ctrl-C cannot end it: espera_off(n, timeout) is the wait with a time-out.
    """
    load().EsperaOff(_int32(n))


# ---- analog inputs

def SAW() -> int:
    """Whole volts 0..4 (count * 5 // 256) of analog input W (1)."""
    with _calls:
        return load().SAW()


def SAX() -> int:
    """Whole volts 0..4 of analog input X (2)."""
    with _calls:
        return load().SAX()


def SAY() -> int:
    """Whole volts 0..4 of analog input Y (3)."""
    with _calls:
        return load().SAY()


def SAZ() -> int:
    """Whole volts 0..4 of analog input Z (4)."""
    with _calls:
        return load().SAZ()


def SA_INT() -> List[int]:
    """The volts of SAW, SAX, SAY and SAZ, read in turn, as four values."""
    volts = (ctypes.c_int32 * NUM_ANALOGICAS)()
    with _calls:
        load().SA_INT(volts)
    return list(volts)


def leeanalogica(n: int) -> int:
    """The raw count 0..255 of a conversion with channel mask n (1..4); 0 for other n.

    n is the channel mask itself: 1 reads input W, 2 input X, 4 input Y; no n reads
    the raw count of input Z (mask 8), whose volts SAZ gives.
    """
    with _calls:
        return load().leeanalogica(_int32(n))
