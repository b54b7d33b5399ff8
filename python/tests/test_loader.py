"""Finding the library: through the loader, through PLACAIO_LIBRARY, and the error
that says what was looked for."""
import ctypes
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
    assert "LibraryNotFoundError: placaio: cannot load the 64-bit libplacaio.so.1" in run.stderr
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


def _pe(path, machine):
    """The first bytes of a Windows DLL for the given machine: enough to tell its bits."""
    head = bytearray(0x100)
    head[:2] = b"MZ"
    head[0x3C:0x40] = (0x80).to_bytes(4, "little")
    head[0x80:0x86] = b"PE\0\0" + machine.to_bytes(2, "little")
    path.write_bytes(bytes(head))
    return path


def test_a_library_of_other_bits_is_named_with_its_bits(tmp_path):
    from placaio import _loader
    dll32 = _pe(tmp_path / "placaio.dll", 0x14C)
    assert _loader.library_bits(str(dll32)) == 32
    assert _loader.library_bits(str(_pe(tmp_path / "x64.dll", 0x8664))) == 64
    assert _loader.library_bits(str(tmp_path / "missing.dll")) is None
    assert _loader.library_bits(sys.executable) == _loader.BITS
    run = _python(FIRST_CALL, PLACAIO_LIBRARY=str(dll32))
    assert f"{dll32} is 32-bit; this Python is {_loader.BITS}-bit" in run.stderr, run.stderr


def test_on_windows_the_installed_library_of_this_pythons_bits_comes_after_the_search(
        tmp_path, monkeypatch):
    from placaio import _loader
    installed = tmp_path / "x64" / "bin" / "placaio.dll"
    installed.parent.mkdir(parents=True)
    _pe(installed, 0x8664)
    tried = []

    def win_dll(name, winmode=None):
        tried.append(name)
        if name == str(installed):
            return "loaded"
        raise OSError(193, "not a valid Win32 application")

    monkeypatch.setattr(_loader, "_WINDOWS", True)
    monkeypatch.setattr(_loader, "LIBRARY_NAME", "placaio.dll")
    monkeypatch.setattr(_loader, "BITS", 64)
    monkeypatch.setattr(_loader, "_installed_folder", lambda: str(tmp_path))
    monkeypatch.setattr(ctypes, "WinDLL", win_dll, raising=False)
    assert _loader._load_library(None) == "loaded"
    assert tried == ["placaio.dll", str(installed)]
    # A 32-bit Python takes bin\placaio.dll, which is not there: the search's error stands.
    monkeypatch.setattr(_loader, "BITS", 32)
    tried.clear()
    with pytest.raises(OSError, match="not a valid Win32"):
        _loader._load_library(None)
    assert tried == ["placaio.dll"]
