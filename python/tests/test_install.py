"""pip install in a fresh virtual environment, then the example on the simulated board."""
import os
import shutil
import subprocess
import sys

import pytest

from conftest import BOARD, PYTHON_DIR

pytestmark = pytest.mark.sim


def test_installed_package_runs_the_example(sim, tmp_path):
    # A copy: building writes build/ and *.egg-info beside the sources.
    source = tmp_path / "source"
    shutil.copytree(PYTHON_DIR, source, ignore=shutil.ignore_patterns("__pycache__", "build", "*.egg-info"))
    venv = tmp_path / "venv"
    # No network: setuptools from the system, no index.
    subprocess.run([sys.executable, "-m", "venv", "--system-site-packages", str(venv)],
                   check=True, timeout=120)
    env = {k: v for k, v in os.environ.items() if not k.startswith("PIP_") and k != "PYTHONPATH"}
    install = subprocess.run(
        [str(venv / "bin/pip"), "install", "--no-index", "--no-build-isolation", str(source)],
        env=env, capture_output=True, text=True, timeout=300)
    assert install.returncode == 0, install.stdout + install.stderr

    # The board's side: the cabin goes up from floor 1 and stops at floor 2, breaking
    # no rule of the lift.
    watch = subprocess.Popen(
        [sim.placasim, "--board", BOARD, "--script", "/dev/stdin", "--strict"],
        stdin=subprocess.PIPE, stdout=subprocess.DEVNULL, text=True)
    watch.stdin.write("expect floor 1\nexpect outputs 2 within 10\nexpect floor 2 within 5\nexpect outputs 0\n")
    watch.stdin.close()
    run = subprocess.run([str(venv / "bin/python"), str(source / "examples/piso.py")],
                         cwd=tmp_path, env=env, capture_output=True, text=True, timeout=60)
    assert watch.wait(timeout=30) == 0
    assert run.returncode == 0, run.stderr
    assert "the cabin is at floor 2; inputs [0, 0, 0, 0, 1, 0, 0, 0]" in run.stdout
    where = subprocess.run([str(venv / "bin/python"), "-c", "import placaio; print(placaio.__file__)"],
                           cwd=tmp_path, env=env, capture_output=True, text=True, timeout=60)
    assert where.stdout.startswith(str(venv))
