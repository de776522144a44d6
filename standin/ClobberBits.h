/*
 * The states a stand-in export can be told to change as it returns (clobber=), as
 * bits of one word. Shared by the script's parser (C++) and the exports' return
 * paths (standin/ExportsX86.S, standin/ExportsX64.S), hence plain macros.
 */
#ifndef STANDIN_CLOBBER_BITS_H
#define STANDIN_CLOBBER_BITS_H

#define STANDIN_CLOBBER_BX 0x1          /* EBX / RBX */
#define STANDIN_CLOBBER_SI 0x2          /* ESI / RSI */
#define STANDIN_CLOBBER_DI 0x4          /* EDI / RDI */
#define STANDIN_CLOBBER_BP 0x8          /* EBP / RBP */
#define STANDIN_CLOBBER_R12 0x10        /* 64-bit only, R12 to R15: 0x10 << (n - 12) */
#define STANDIN_CLOBBER_XMM6 0x100      /* 64-bit only, XMM6 to XMM15: 0x100 << (n - 6) */
#define STANDIN_CLOBBER_DF 0x40000      /* the direction flag set */
#define STANDIN_CLOBBER_X87CW 0x80000   /* x87 control word 0x0260 */
#define STANDIN_CLOBBER_MXCSR 0x100000  /* MXCSR 0 */
#define STANDIN_CLOBBER_X87STACK 0x200000 /* one value left on the x87 stack */

/* What a clobbered general register is set to; an XMM register holds it four times. */
#define STANDIN_CLOBBER_VALUE 0x0BADF00D
#define STANDIN_CLOBBER_VALUE64 0x0BADF00D0BADF00D
/* The x87 control word set: invalid, denormal, zero-divide, overflow and underflow
   unmasked (precision stays masked), 53-bit precision, round to nearest. */
#define STANDIN_CLOBBER_X87CW_VALUE 0x0260

#endif
