/* A light curve through the C library: a limb-darkened source crossed by a
 * point lens (u0 = 0.02 Einstein radii, ρ = 0.05, ±1.5 days at tE = 20 days),
 * from the header and libmirlaxon.so installed with the mirlaxon_arrays
 * package (python -c "import mirlaxon_arrays; print(mirlaxon_arrays.paths())"):
 *
 *     cc -std=c99 -I<folder> examples/light_curve.c -L<folder> -lmirlaxon -Wl,-rpath,<folder> -lm
 *
 * Then a failure, reported as a status and a message: a flux map whose radii
 * and brightness differ in length. Exits with 0 only if both go as expected.
 */
#include <math.h>
#include <stdio.h>
#include <string.h>

#include "mirlaxon.h"

#define EPOCHS 31

int main(void) {
  const double u0 = 0.02, t0 = 0.0, tE = 20.0, rho = 0.05;
  double times[EPOCHS], l[EPOCHS], limb_darkened[EPOCHS], uniform[EPOCHS];
  for (int k = 0; k < EPOCHS; ++k) {
    times[k] = t0 + 0.1 * (k - EPOCHS / 2);
    const double tau = (times[k] - t0) / tE;
    l[k] = sqrt(u0 * u0 + tau * tau) / rho; /* separations in source radii */
  }
  mirlaxon_error error;
  if (mirlaxon_integrated_heyrovsky_magnification(l, EPOCHS, 1.0, rho, limb_darkened, &error) != MIRLAXON_OK ||
      mirlaxon_witt_mao_magnification(l, EPOCHS, 1.0, rho, uniform, &error) != MIRLAXON_OK) {
    fprintf(stderr, "light curve failed: %s\n", error.message);
    return 1;
  }
  printf("%8s %10s %14s %14s\n", "t (d)", "l", "uniform disk", "limb-darkened");
  int peaked = 1;
  for (int k = 0; k < EPOCHS; ++k) {
    printf("%8.2f %10.5f %14.9f %14.9f\n", times[k], l[k], uniform[k], limb_darkened[k]);
    if (!(limb_darkened[k] > 1.0 && uniform[k] > 1.0)) peaked = 0;
  }
  /* At the peak the lens is inside the source; the darkened limb puts more
   * light near the centre, so the limb-darkened source is magnified more. */
  if (!peaked || !(limb_darkened[EPOCHS / 2] > uniform[EPOCHS / 2])) {
    fprintf(stderr, "unexpected light curve\n");
    return 1;
  }

  const double bl[] = {0.0, 0.5, 1.0}, bf[] = {1.0, 0.8};
  double untouched[EPOCHS];
  memcpy(untouched, limb_darkened, sizeof untouched);
  const int status =
      mirlaxon_integrated_flux_map_heyrovsky_magnification(l, EPOCHS, 1.0, rho, bl, 3, bf, 2, limb_darkened, &error);
  printf("flux map of 3 radii and 2 brightnesses: status %d, \"%s\"\n", status, error.message);
  if (status != MIRLAXON_LENGTH_MISMATCH || error.status != status ||
      memcmp(untouched, limb_darkened, sizeof untouched) != 0) {
    fprintf(stderr, "the mismatch was not reported as expected\n");
    return 1;
  }
  return 0;
}
