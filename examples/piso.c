/* The smallest use of placaio: blink the outputs, run motor 1 both ways, and print
 * the eight digital inputs. No set-up call is needed; the library binds the port
 * driver "io" by itself. */
#include <stdio.h>

#include <placaio.h>

int main(void) {
  int i;
  char motores[PLACAIO_NUM_MOTORES];
  int32_t entradas;

  for (i = 0; i < 2; ++i) {
    SALIDA(0x55); /* outputs 1, 3, 5 and 7 on */
    segundos(1.0f);
    SALIDA(0xAA); /* 2, 4, 6 and 8 on */
    segundos(1.0f);
  }
  DESCONECTAR();

  M1(PLACAIO_MOTOR_D);
  M_INT(motores);
  printf("motor 1: %c\n", motores[0]);
  M1(PLACAIO_MOTOR_I);
  M1(PLACAIO_MOTOR_P);

  entradas = VE_INT();
  for (i = 1; i <= PLACAIO_NUM_ENTRADAS; ++i) printf("input %d: %s\n", i, SD(i) ? "on" : "off");
  printf("input byte: %d\n", (int)entradas);
  return 0;
}
