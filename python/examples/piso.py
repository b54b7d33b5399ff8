"""Blinks an output of the board, then reads its inputs.

    python3 parpadeo.py [OUTPUT [TIMES]]

OUTPUT (1..8, default 1) goes on for a second and off for a second, TIMES times
(default 3); then the eight digital inputs and the four analog inputs are printed.
"""
import sys

import placaio


def main(argv):
    output = int(argv[1]) if len(argv) > 1 else 1
    times = int(argv[2]) if len(argv) > 2 else 3
    try:
        placaio.load()
    except placaio.LibraryNotFoundError as error:
        print(error, file=sys.stderr)
        return 1

    for _ in range(times):
        placaio.CONECTA(output)
        print(f"output {output} on:  outputs {placaio.SALIDA_INT()}")
        placaio.segundos(1)
        placaio.DESCONECTA(output)
        print(f"output {output} off: outputs {placaio.SALIDA_INT()}")
        placaio.segundos(1)

    print(f"inputs: {placaio.SD_INT()} (byte {placaio.VE_INT()})")
    print(f"analog inputs, volts: {placaio.SA_INT()}")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
