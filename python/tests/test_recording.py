"""Each function's arguments and results crossing into the library, seen in the
register traffic of the recording driver."""
import math
import threading
import time

import pytest

import placaio
from conftest import CONTROL, DATA

pytestmark = pytest.mark.recording


# ---- outputs and motors: the byte that reaches the data register

@pytest.mark.parametrize("call, byte", [
    (lambda: placaio.SALIDA(0xA5), 0xA5),
    (lambda: placaio.EnviaOcteto(3), 3),
    (lambda: placaio.CONECTAR(), 0xFF),
    (lambda: placaio.CONECTA(3), 0x04),
    (lambda: placaio.M1("D"), 0x02),
    (lambda: placaio.M1(ord("I")), 0x01),
    (lambda: placaio.M2(b"D"), 0x08),
    (lambda: placaio.M3("I"), 0x10),
    (lambda: placaio.M4("D"), 0x80),
    (lambda: placaio.M1(0x100 + ord("D")), 0x02),  # the library reads the low 8 bits
    (lambda: placaio.M("DPIP"), 0x12),
    (lambda: placaio.M(b"IPPD"), 0x81),
])
def test_an_output_call_writes_its_byte(recorder, call, byte):
    call()
    assert recorder.log()[0] == (1, CONTROL, 7)
    assert recorder.writes_to(DATA)[-1] == byte
    assert placaio.VS_INT() == byte


def test_outputs_go_off_one_by_one_and_all_at_once(recorder):
    placaio.SALIDA(0x0F)
    placaio.DESCONECTA(1)
    placaio.APAGA(4)
    placaio.DESCONECTAR()
    assert recorder.writes_to(DATA) == [0x0F, 0x0E, 0x06, 0x00]


@pytest.mark.parametrize("call", [
    lambda: placaio.SALIDA(256),
    lambda: placaio.SALIDA(-1),
    lambda: placaio.SALIDA(2**32 + 5),  # never cut down to 5
    lambda: placaio.CONECTA(0),
    lambda: placaio.CONECTA(2**32 + 1),
    lambda: placaio.DESCONECTA(9),
    lambda: placaio.M1("d"),
    lambda: placaio.M1("\u0144"),  # its low byte is 'D', but it is no code
    lambda: placaio.M2(2**40 + ord("D")),
    lambda: placaio.M("xyzw"),
])
def test_bad_numbers_and_codes_leave_the_board_untouched(recorder, call):
    placaio.SALIDA(0x40)
    recorder.reset()
    call()
    assert recorder.writes_to(DATA) == []
    assert placaio.VS_INT() == 0x40


@pytest.mark.parametrize("call, error", [
    (lambda: placaio.SALIDA(1.5), TypeError),
    (lambda: placaio.CONECTA("3"), TypeError),
    (lambda: placaio.M1("DI"), ValueError),
    (lambda: placaio.M1(""), ValueError),
    (lambda: placaio.M("DPI"), ValueError),
    (lambda: placaio.M(["D", "P", "I", "P"]), TypeError),
    (lambda: placaio.segundos("1"), TypeError),
])
def test_arguments_that_are_no_number_or_code_raise(recorder, call, error):
    with pytest.raises(error):
        call()
    assert recorder.log() == []


def test_read_backs_return_lists_and_a_string(recorder):
    placaio.M("DPIP")
    placaio.CONECTA(3)
    placaio.CONECTA(4)  # motor 2 with both outputs on reads as stopped
    assert placaio.SALIDA_INT() == [0, 1, 1, 1, 1, 0, 0, 0]
    assert placaio.M_INT() == "DPIP"
    assert placaio.CONECTADO_INT() == [1, 0, 1, 0]
    assert placaio.VS_INT() == 0x1E


# ---- the pause: a 32-bit float of whole seconds

def _elapsed(call):
    start = time.monotonic()
    call()
    return time.monotonic() - start


@pytest.mark.parametrize("pause", [1, 1.0, 1.9])
def test_segundos_pauses_the_whole_seconds(recorder, pause):
    assert 0.95 <= _elapsed(lambda: placaio.segundos(pause)) < 1.6


@pytest.mark.parametrize("pause", [0.5, 0.999, -1.0, math.nan, 1e300])
def test_segundos_without_a_whole_second_returns_at_once(recorder, pause):
    assert _elapsed(lambda: placaio.segundos(pause)) < 0.5


# ---- digital inputs

def test_inputs_come_back_as_a_byte_a_list_and_single_values(recorder):
    recorder.script_inputs(0b1010_0101)
    assert placaio.VE_INT() == 0xA5
    assert placaio.SD_INT() == [1, 0, 1, 0, 0, 1, 0, 1]
    assert [placaio.SD(n) for n in range(1, 9)] == [1, 0, 1, 0, 0, 1, 0, 1]
    assert [placaio.entrada(n) for n in (1, 2, 8)] == [1, 0, 1]
    # Not range-tested, as the library documents.
    assert (placaio.SD(0), placaio.SD(-(2**40)), placaio.SD(9)) == (1, 1, 0)


def _started(call):
    """The call on a thread of its own; the event is set when it returns."""
    done = threading.Event()
    threading.Thread(target=lambda: (call(), done.set()), daemon=True).start()
    return done


def _returns(call, within=5.0):
    return _started(call).wait(within)


def test_library_waits_return_when_the_input_changes(recorder):
    recorder.script_inputs(0, 0, 0b10)
    assert _returns(lambda: placaio.EsperaOn(2))
    assert recorder.status_reads() == 6  # three input bytes, two reads each
    recorder.reset()
    recorder.script_inputs(0x80, 0x80, 0)
    assert _returns(lambda: placaio.EsperaOff(8))
    assert recorder.status_reads() == 6


def test_library_waits_on_no_input_return_at_once(recorder):
    assert _returns(lambda: placaio.EsperaOn(9))
    assert _returns(lambda: placaio.EsperaOff(0))
    assert recorder.status_reads() == 0


# ---- analog inputs

def _script_counts(recorder, *counts):
    """Counts answered in turn: low four bits after control 2, high after control 0."""
    recorder.script_status(2, [(c & 0x0F) << 3 for c in counts])
    recorder.script_status(0, [(c >> 4) << 3 for c in counts])


def test_analog_volts_and_counts(recorder):
    _script_counts(recorder, 0x00, 0x52, 0xA5, 0xFF)
    assert placaio.SA_INT() == [0, 1, 3, 4]
    # The masks of W, X, Y, Z in turn, each written twice.
    assert recorder.writes_to(DATA) == [1, 1, 2, 2, 4, 4, 8, 8]

    for function, count, volts in [(placaio.SAW, 0x33, 0), (placaio.SAX, 0x80, 2),
                                    (placaio.SAY, 0xCC, 3), (placaio.SAZ, 0xFF, 4)]:
        recorder.reset()
        _script_counts(recorder, count)
        assert function() == volts


def test_leeanalogica_takes_the_mask_and_returns_the_count(recorder):
    _script_counts(recorder, 0xA5)
    assert placaio.leeanalogica(4) == 0xA5
    assert recorder.writes_to(DATA) == [4, 4]
    recorder.reset()
    assert placaio.leeanalogica(5) == 0
    assert recorder.log() == []


# ---- the waits with a time-out (additions)

def test_timed_wait_returns_true_once_the_input_changes(recorder):
    recorder.script_inputs(0, 0, 0, 0b100)
    assert placaio.espera_on(3, timeout=5) is True
    assert recorder.status_reads() == 8
    recorder.reset()
    recorder.script_inputs(0b100, 0)
    assert placaio.espera_off(3, timeout=5) is True


def test_timed_wait_gives_up_after_the_time_out(recorder):
    assert not placaio.espera_on(1, timeout=0)
    assert recorder.status_reads() == 2  # looked once
    elapsed = _elapsed(lambda: placaio.espera_on(1, timeout=0.2))
    assert 0.2 <= elapsed < 1.0
    recorder.script_inputs(0xFF)
    assert _elapsed(lambda: placaio.espera_off(1, timeout=0.2)) >= 0.2


def test_timed_wait_without_time_out_lasts(recorder):
    done = _started(lambda: placaio.espera_on(5))
    assert not done.wait(0.3)
    recorder.script_inputs(0x10)
    assert done.wait(5)


@pytest.mark.parametrize("n, timeout, error", [(0, 1, ValueError), (9, 1, ValueError), (1, -1, ValueError),
                                               (1, math.nan, ValueError), (1, -10**400, ValueError),
                                               (1, "0.01", TypeError), (1, b"1", TypeError)])
def test_timed_wait_refuses_no_input_and_a_bad_time_out(recorder, n, timeout, error):
    with pytest.raises(error):
        placaio.espera_on(n, timeout)
    assert recorder.status_reads() == 0


def test_timed_wait_beyond_a_float_waits_for_ever(recorder):
    recorder.script_inputs(0x01)
    assert placaio.espera_on(1, 10**400) is True
