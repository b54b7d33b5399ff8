"""Waits with a time-out: additions of this package, not functions of the library.

The library's EsperaOn and EsperaOff never return for an input that never changes,
and Ctrl-C cannot end them; these test the input with SD every millisecond instead.
"""
from __future__ import annotations

import math
import numbers
import operator
import time
from typing import Optional

from ._primitives import NUM_ENTRADAS, SD

POLL_SECONDS = 0.001


def espera_on(n: int, timeout: Optional[float] = None) -> bool:
    """Waits until input n (1..8) is on (an addition, not a library function).

    Returns True once it is on, False when timeout seconds have passed first;
    timeout 0 looks once, None waits as long as it takes (Ctrl-C still ends it).
    Raises ValueError for n outside 1..8 or a negative or NaN timeout, TypeError
    for a timeout that is not a number; one too large for a float waits for ever.
    """
    return _wait(n, 1, timeout)


def espera_off(n: int, timeout: Optional[float] = None) -> bool:
    """Waits until input n (1..8) is off (an addition, not a library function).

    Returns True once it is off, False when timeout seconds have passed first;
    otherwise as espera_on.
    """
    return _wait(n, 0, timeout)


def _wait(n: int, wanted: int, timeout: Optional[float]) -> bool:
    n = operator.index(n)
    if not 1 <= n <= NUM_ENTRADAS:
        raise ValueError(f"input {n} does not exist (1..{NUM_ENTRADAS})")
    deadline = math.inf
    if timeout is not None:
        if not isinstance(timeout, numbers.Real):
            raise TypeError(f"a time-out is a number of seconds, not {type(timeout).__name__}")
        try:
            timeout = float(timeout)
        except OverflowError:
            timeout = math.inf if timeout > 0 else -math.inf
        if not timeout >= 0:
            raise ValueError(f"a time-out is 0 or more seconds, not {timeout}")
        deadline = time.monotonic() + timeout
    while SD(n) != wanted:
        if time.monotonic() >= deadline:
            return False
        time.sleep(POLL_SECONDS)
    return True
