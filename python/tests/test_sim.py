"""The package on the simulated board: what it writes reaches the board's outputs,
what the board's inputs hold comes back, and the timed waits follow the cabin."""
import threading

import pytest

import placaio

pytestmark = pytest.mark.sim


def test_a_fresh_board_shows_the_cabin_at_floor_1(sim):
    assert placaio.SD_INT() == [0, 0, 0, 1, 0, 0, 0, 0]
    assert placaio.VE_INT() == 0b1000


def test_outputs_and_motors_reach_the_board(sim):
    placaio.SALIDA(0xA4)
    assert sim.script("expect outputs 0xA4\n") == 0
    placaio.M("PPIP")
    assert sim.script("expect outputs 0x10\nexpect motor 3 I\n") == 0
    assert sim.script("expect outputs 0x11\n") == 1  # and the check can fail


def test_inputs_and_analog_inputs_come_from_the_board(sim):
    assert sim.script("press 2\nswitch 8 on\nanalog 2 200\nanalog 4 255\n") == 0
    assert placaio.SD_INT() == [0, 1, 0, 1, 0, 0, 0, 1]
    assert (placaio.SD(2), placaio.entrada(8), placaio.SD(3)) == (1, 1, 0)
    assert placaio.leeanalogica(2) == 200
    assert placaio.SA_INT() == [0, 3, 0, 4]
    assert (placaio.SAX(), placaio.SAZ()) == (3, 4)


def test_timed_waits_follow_the_cabin(sim):
    placaio.M1("D")  # toward floor 3, 2.5 s per floor
    assert placaio.espera_off(4, timeout=2)  # leaves floor 1
    assert not placaio.espera_on(6, timeout=0.3)  # floor 3 is seconds away
    assert placaio.espera_on(5, timeout=5)  # passes floor 2
    placaio.M1("P")
    assert placaio.M_INT() == "PPPP"


def test_threads_share_the_board_through_one_lock(sim):
    # Unserialised, two threads' read-modify-writes of the output image lost outputs.
    for _ in range(200):
        placaio.SALIDA(0)
        start = threading.Barrier(8)

        def connect(n):
            start.wait()
            placaio.CONECTA(n)

        threads = [threading.Thread(target=connect, args=(n,)) for n in range(1, 9)]
        for t in threads:
            t.start()
        for t in threads:
            t.join()
        assert placaio.VS_INT() == 255
