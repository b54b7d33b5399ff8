/* A first program: call the cabin to a floor (2 unless told) and stop it there.
 *
 *   piso [FLOOR]
 *
 * The lift on the board: output 1 drives the cabin down (toward floor 1), output 2
 * up (toward floor 3); inputs 4, 5 and 6 are the floor sensors of floors 1, 2 and 3.
 * No set-up call is needed: the first call binds the port driver "io". */
#include <stdio.h>
#include <stdlib.h>

#include <placaio.h>

int main(int argc, char** argv) {
  int32_t piso = argc > 1 ? atoi(argv[1]) : 2;
  int32_t sensor = piso + 3, desde = 0, motor, i;

  if (piso < 1 || piso > 3) {
    fprintf(stderr, "usage: piso [1|2|3]\n");
    return 2;
  }
  for (i = 1; i <= 3; ++i)
    if (SD(i + 3)) desde = i; /* the floor whose sensor is lit */
  if (desde == 0) {
    fprintf(stderr, "the cabin stands between floors; no sensor is lit\n");
    return 1;
  }
  if (desde != piso) {
    motor = desde < piso ? 2 : 1; /* up or down */
    CONECTA(motor);               /* the motor runs */
    EsperaOn(sensor);             /* until that floor's sensor lights */
    DESCONECTA(motor);            /* and stops at once, inside the sensor's band */
  }
  printf("the cabin is at floor %d (input byte %d)\n", (int)piso, (int)VE_INT());
  return 0;
}
