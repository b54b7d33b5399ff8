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
    def __init__(self, placasim):
        self._placasim = placasim

    def power_on(self):
        """Powers the board on afresh: cabin at floor 1, everything off."""
        subprocess.run([self._placasim, "--board", BOARD, "--no-panel", "--", "true"],
                       check=True, timeout=30)

    def script(self, text, tmp_path):
        """Runs a placasim script on this board; its exit code (0: every expectation held)."""
        path = tmp_path / "steps.txt"
        path.write_text(text)
        return subprocess.run([self._placasim, "--board", BOARD, "--script", str(path)],
                              stdout=subprocess.PIPE, timeout=60).returncode


@pytest.fixture
def sim():
    placasim = os.environ.get("PLACASIM")
    if not placasim:
        pytest.fail("PLACASIM must name the placasim program")
    board = SimBoard(placasim)
    board.power_on()
    placaio.SALIDA(0)  # this process's output image, as the board now is
    yield board
    placaio.SALIDA(0)
