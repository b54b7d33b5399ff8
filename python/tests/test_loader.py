"""Finding the library: through the loader, through PLACAIO_LIBRARY, and the error
that says what was looked for."""
import os
import subprocess
import sys

import pytest

from conftest import PYTHON_DIR

FIRST_CALL = "import placaio; print('imported', flush=True); placaio.VE_INT()"


def _python(code, **env_changes):
    env = {k: v for k, v in os.environ.items() if k not in ("PLACAIO_LIBRARY", "LD_LIBRARY_PATH")}
    env.update(env_changes)
    env["PYTHONPATH"] = str(PYTHON_DIR)
    return subprocess.run([sys.executable, "-c", code], env=env, capture_output=True,
                          text=True, timeout=60)


def test_a_missing_file_named_by_the_variable_is_named_in_the_error():
    run = _python(FIRST_CALL, PLACAIO_LIBRARY="/nonexistent/libplacaio.so.1")
    assert run.returncode != 0
    assert run.stdout == "imported\n"  # importing needs no library
    assert "LibraryNotFoundError" in run.stderr
    assert "cannot load /nonexistent/libplacaio.so.1, named by PLACAIO_LIBRARY" in run.stderr


def test_without_the_variable_the_loader_is_asked_for_the_soname():
    if _python("import ctypes; ctypes.CDLL('libplacaio.so.1')").returncode == 0:
        pytest.skip("libplacaio.so.1 is installed where the loader finds it")
    run = _python(FIRST_CALL)
    assert "LibraryNotFoundError: placaio: cannot load libplacaio.so.1" in run.stderr
    assert "LD_LIBRARY_PATH" in run.stderr and "Set PLACAIO_LIBRARY" in run.stderr


def test_another_library_is_refused_by_its_missing_functions():
    run = _python(FIRST_CALL, PLACAIO_LIBRARY="libm.so.6")
    assert "libm.so.6 was loaded but has no function SALIDA" in run.stderr


def test_the_loader_finds_the_library_on_the_library_path():
    library = os.environ.get("PLACAIO_LIBRARY")
    if not library:
        pytest.skip("PLACAIO_LIBRARY names no library to find")
    run = _python("import placaio; print(placaio.VS_INT())", LD_LIBRARY_PATH=os.path.dirname(library))
    assert (run.returncode, run.stdout) == (0, "0\n"), run.stderr
