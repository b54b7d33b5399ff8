/* placaio: the interface board on the PC's first parallel port.
 *
 * Eight digital outputs (four reversible motors, outputs 2m-1 and 2m for motor m),
 * eight digital inputs and four analog inputs. Every call binds the port driver "io"
 * by itself; there is no initialisation call, and any function may be called first.
 * No function reports an error: numbers out of range are ignored (the board and the
 * output image stay untouched). Calls are not serialised: a program that uses the
 * board from several threads serialises its calls itself.
 *
 * Windows: placaio.dll, __stdcall, undecorated names. Linux: libplacaio.so, C ABI.
 */
#ifndef PLACAIO_H
#define PLACAIO_H

#include <stdint.h>

/* The calling convention of every function: the callee removes its arguments. */
#if defined(_WIN32)
#define PLACAIO_LLAMADA __stdcall
#else
#define PLACAIO_LLAMADA
#endif

/* Buffer sizes, in elements. */
#define PLACAIO_NUM_SALIDAS 8     /* SALIDA_INT: int32_t */
#define PLACAIO_NUM_MOTORES 4     /* M, M_INT, CONECTADO_INT: char */
#define PLACAIO_NUM_ENTRADAS 8    /* SD_INT: int32_t */
#define PLACAIO_NUM_ANALOGICAS 4  /* SA_INT: int32_t */

/* Motor codes. */
#define PLACAIO_MOTOR_D 'D' /* first output off, second on */
#define PLACAIO_MOTOR_I 'I' /* first output on, second off */
#define PLACAIO_MOTOR_P 'P' /* both off (read back also when both are on) */

#ifdef __cplusplus
extern "C" {
#endif

/* ---- outputs (numbers 1..8; the output image starts at 0 when the library loads) */

/* All eight outputs at once, v in 0..255. */
void PLACAIO_LLAMADA SALIDA(int32_t v);
/* The same as SALIDA. */
void PLACAIO_LLAMADA EnviaOcteto(int32_t v);
/* All outputs on; all outputs off. */
void PLACAIO_LLAMADA CONECTAR(void);
void PLACAIO_LLAMADA DESCONECTAR(void);
/* Output n on; output n off (DESCONECTA and APAGA are the same). */
void PLACAIO_LLAMADA CONECTA(int32_t n);
void PLACAIO_LLAMADA DESCONECTA(int32_t n);
void PLACAIO_LLAMADA APAGA(int32_t n);

/* ---- motors (code in the low 8 bits: 'D', 'I' or 'P'; anything else does nothing) */

void PLACAIO_LLAMADA M1(int32_t codigo);
void PLACAIO_LLAMADA M2(int32_t codigo);
void PLACAIO_LLAMADA M3(int32_t codigo);
void PLACAIO_LLAMADA M4(int32_t codigo);
/* Motors 1..4 from PLACAIO_NUM_MOTORES codes. */
void PLACAIO_LLAMADA M(const char* codigos);

/* ---- read-backs, from the output image (never from the board) */

/* The output image, 0..255: bit n-1 set while output n is on. */
int32_t PLACAIO_LLAMADA VS_INT(void);
/* valores[n-1] = 1 if output n is on, else 0; PLACAIO_NUM_SALIDAS elements. */
void PLACAIO_LLAMADA SALIDA_INT(int32_t* valores);
/* codigos[m-1] = 'D', 'I' or 'P' for motor m; PLACAIO_NUM_MOTORES elements, no terminator. */
void PLACAIO_LLAMADA M_INT(char* codigos);
/* conectados[m-1] = 1 if exactly one output of motor m is on, else 0; PLACAIO_NUM_MOTORES. */
void PLACAIO_LLAMADA CONECTADO_INT(char* conectados);

/* ---- pause */

/* Pauses whole seconds: the fraction is dropped, so 0.5 is no pause and 2.9 is two
 * seconds. Negative, NaN and too large values return at once. */
void PLACAIO_LLAMADA segundos(float pausa);

/* ---- digital inputs (numbers 1..8, 1 meaning on) */

/* The eight inputs as one byte 0..255, input n in bit n-1. */
int32_t PLACAIO_LLAMADA VE_INT(void);
/* 1 if input n is on, else 0. Not range-tested: n <= 0 gives 1, n >= 9 gives 0. */
int32_t PLACAIO_LLAMADA SD(int32_t n);
/* The same as SD. */
int32_t PLACAIO_LLAMADA entrada(int32_t n);
/* valores[i] = 1 if input i+1 is on, else 0, all from one reading; PLACAIO_NUM_ENTRADAS. */
void PLACAIO_LLAMADA SD_INT(int32_t* valores);
/* Wait, without time-out, until input n is on / off; n outside 1..8 returns at once. */
void PLACAIO_LLAMADA EsperaOn(int32_t n);
void PLACAIO_LLAMADA EsperaOff(int32_t n);

/* ---- analog inputs */

/* Whole volts 0..4 (count * 5 / 256) of analog inputs W, X, Y and Z. */
int32_t PLACAIO_LLAMADA SAW(void);
int32_t PLACAIO_LLAMADA SAX(void);
int32_t PLACAIO_LLAMADA SAY(void);
int32_t PLACAIO_LLAMADA SAZ(void);
/* voltios[i] = SAW, SAX, SAY, SAZ in turn; PLACAIO_NUM_ANALOGICAS elements. */
void PLACAIO_LLAMADA SA_INT(int32_t* voltios);
/* The raw count 0..255 of a conversion with channel mask n (1..4); 0 for other n. */
int32_t PLACAIO_LLAMADA leeanalogica(int32_t n);

#ifdef __cplusplus
}
#endif

#endif /* PLACAIO_H */
