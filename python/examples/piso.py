"""A first program: calls the cabin to a floor (2 unless told) and stops it there.

    python3 piso.py [FLOOR]

The lift on the board: output 1 drives the cabin down (toward floor 1), output 2 up
(toward floor 3); inputs 4, 5 and 6 are the floor sensors of floors 1, 2 and 3.
"""
import sys

import placaio

TRIP_LIMIT = 10  # seconds; the cabin takes about 2.5 from one floor to the next


def main(argv):
    floor = int(argv[1]) if len(argv) > 1 else 2
    if floor not in (1, 2, 3):
        print("usage: piso.py [1|2|3]", file=sys.stderr)
        return 2
    try:
        placaio.load()
    except placaio.LibraryNotFoundError as error:
        print(error, file=sys.stderr)
        return 1

    lit = [f for f in (1, 2, 3) if placaio.SD(f + 3)]  # the floor whose sensor is lit
    if not lit:
        print("the cabin stands between floors; no sensor is lit", file=sys.stderr)
        return 1
    if lit[0] != floor:
        motor = 2 if lit[0] < floor else 1  # up or down
        placaio.CONECTA(motor)  # the motor runs
        arrived = placaio.espera_on(floor + 3, timeout=TRIP_LIMIT)  # until the sensor lights
        placaio.DESCONECTA(motor)  # and stops
        if not arrived:
            print(f"floor {floor}'s sensor did not light within {TRIP_LIMIT} s; motor stopped",
                  file=sys.stderr)
            return 1
    print(f"the cabin is at floor {floor}; inputs {placaio.SD_INT()}")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
