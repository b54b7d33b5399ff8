"""What the tests run against, named by the environment (the build's ctest sets it):

- recording tests (-m recording): LD_LIBRARY_PATH with the recording io.so first and
  the library's folder after it;
- the others: PLACAIO_LIBRARY naming the library, whose own run path finds the
  simulated board, and PLACASIM naming the placasim program.
"""
import ctypes
import os
import pathlib
import subprocess
import sys
import time

import pytest

PYTHON_DIR = pathlib.Path(__file__).resolve().parents[1]
sys.path.insert(0, str(PYTHON_DIR))

import placaio  # noqa: E402  (the package from this tree, not an installed one)

# A board of this run's own: other tests use the machine's shared memory at the same time.
BOARD = f"placaio-pytest-{os.getpid()}"
os.environ["PLACASIM_BOARD"] = BOARD

DATA, STATUS, CONTROL = 888, 889, 890
BYTE_OUT = 1


def pytest_sessionfinish(session, exitstatus):
    try:
        os.unlink(f"/dev/shm/{BOARD}")
    except FileNotFoundError:
        pass


class Recorder:
    """The recording driver's controls, in the io.so the library has loaded."""

    def __init__(self):
        self._io = ctypes.CDLL("io.so")
        if not hasattr(self._io, "rec_reset"):
            pytest.fail("io.so is not the recording driver: put its folder first on LD_LIBRARY_PATH")
        self._io.rec_script_status.argtypes = (
            ctypes.c_int32, ctypes.POINTER(ctypes.c_uint8), ctypes.c_int32)
        self._io.rec_default_status.argtypes = (ctypes.c_uint8,)

    def reset(self):
        self._io.rec_reset()

    def log(self):
        entries = []
        kind, port, value = ctypes.c_int32(), ctypes.c_int32(), ctypes.c_int32()
        for i in range(self._io.rec_count()):
            self._io.rec_entry(i, ctypes.byref(kind), ctypes.byref(port), ctypes.byref(value))
            entries.append((kind.value, port.value, value.value))
        return entries

    def writes_to(self, register):
        return [v for k, p, v in self.log() if k == BYTE_OUT and p == register]

    def status_reads(self):
        return self._io.rec_status_reads()

    def script_status(self, control, statuses):
        """Status bytes answered in turn while the control register holds control."""
        data = (ctypes.c_uint8 * len(statuses))(*statuses)
        self._io.rec_script_status(control, data, len(statuses))

    def script_inputs(self, *input_bytes):
        """Input bytes read in turn (each read is two status reads); the last one stays."""
        self.script_status(3, [(~b & 0x0F) << 3 for b in input_bytes])
        self.script_status(1, [(~b >> 4 & 0x0F) << 3 for b in input_bytes])


@pytest.fixture
def recorder():
    placaio.load()
    rec = Recorder()
    placaio.SALIDA(0)
    rec.reset()
    return rec


class SimBoard:
    """The simulated board BOARD, which this process holds once it has used it: it is
    powered on afresh only at the start, and each test leaves it as it found it."""

    IDLE_INPUTS = "".join(f"release {n}\n" for n in range(1, 7)) + "switch 7 off\nswitch 8 off\n" + \
        "".join(f"analog {n} 0\n" for n in range(1, 5))

    def __init__(self, placasim):
        self.placasim = placasim

    def power_on(self):
        """Cabin at floor 1, everything off; refused once a program holds the board."""
        subprocess.run([self.placasim, "--board", BOARD, "--no-panel", "--", "true"],
                       check=True, timeout=30)

    def script(self, text):
        """Runs a placasim script on the board; its exit code (0: every expectation held)."""
        return subprocess.run([self.placasim, "--board", BOARD, "--script", "/dev/stdin"],
                              input=text, text=True, stdout=subprocess.DEVNULL,
                              timeout=60).returncode

    def rest(self):
        """Inputs idle, the cabin at rest at floor 1, outputs off."""
        assert self.script(self.IDLE_INPUTS) == 0
        placaio.M1("I")  # toward floor 1, where the cabin stops hard
        assert placaio.espera_on(4, timeout=10)
        time.sleep(0.3)  # through the sensor's band to the floor
        placaio.SALIDA(0)


def _placasim():
    placasim = os.environ.get("PLACASIM")
    if not placasim:
        pytest.fail("PLACASIM must name the placasim program")
    return SimBoard(placasim)


def pytest_sessionstart(session):
    if os.environ.get("PLACASIM"):
        _placasim().power_on()


@pytest.fixture
def sim():
    board = _placasim()
    yield board
    board.rest()
