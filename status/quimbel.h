/* quimbel: the status check for programs that call the CULA GPU linear-algebra library.
 *
 * quimbel_mp_check_status_(status), the routine check_status of the module quimbel, runs
 * after a library call with the status it returned (by reference, only read):
 *   - 0: returns; nothing is written.
 *   - 7, 8, 9, 10: writes one record to standard output, then stops:
 *         " Invalid value for parameter <info>"   (7)
 *         " Data error (<info> )"                 (8)
 *         " Blas error (<info> )"                 (9)
 *         " Runtime error (<info> )"              (10)
 *     with <info> the library's additional information, an integer in 12 columns.
 *   - any other value: stops without a record of its own.
 * The information is fetched first, for every status. Stopping flushes standard output,
 * writes "STOP 1" to standard error and ends the process with exit status 1.
 *
 * Link requirements: the report layer (kelvane::report), and the CULA library, which provides
 * the two routines below under these external names. */
#ifndef KELVANE_QUIMBEL_H
#define KELVANE_QUIMBEL_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

void quimbel_mp_check_status_(const int32_t* status);

/* From the CULA library: the information about its last failure, such as the number of the
 * offending parameter; and its text for a status, which this module calls but does not use. */
int32_t cula_geterrorinfo_(void);
void cula_getstatusstring_(const int32_t* status);

#ifdef __cplusplus
}
#endif

#endif
