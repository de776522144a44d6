/*
 * The five exports of the stand-in's 64-bit Mervik.dll. Each is a function here
 * that calls the export's C++ body (standin_body_<name>, MervikExports.cpp) and,
 * after it, changes the caller's state as the script's clobber= asked for this
 * call: the body tells nothing false to the compiler, and the broken contract is
 * all in this file's tail.
 *
 * Technique. Exceptions on x64 are found through unwind information, so each
 * entry is a proper function: its prologue reserves the body's home area (40
 * bytes, which also brings RSP to 16-byte alignment) and is described with the
 * .seh_ directives. RCX, RDX, R8 and R9 reach the body untouched: the body is
 * defined with one parameter more than the export has, and that register is what
 * extra= reads. After the body, RSP is restored and the shared tail, a leaf that
 * runs at the caller's RSP, changes the state asked for (MXCSR last) and returns.
 * The entry saves nothing, so nothing it would restore can undo a clobber; when
 * nothing is asked for, every register is as the body, a C++ function, left it.
 *
 * The clobbers are the bits of standin_return_clobbers, which the body's last
 * act sets for this call (0 when none); the tail reads and clears it.
 */
#include "ClobberBits.h"

        .section .rdata,"dr"
        .p2align 4
xmm_value:
        .rept   4
        .long   STANDIN_CLOBBER_VALUE
        .endr
x87cw_value:
        .word   STANDIN_CLOBBER_X87CW_VALUE
        .p2align 2
mxcsr_value:
        .long   0                               /* every SSE exception unmasked */

        .text

.macro EXPORT name
        .def    \name; .scl 2; .type 32; .endef
        .globl  \name
        .p2align 4
        .seh_proc \name
\name:
        subq    $40, %rsp
        .seh_stackalloc 40
        .seh_endprologue
        call    standin_body_\name
        nop                                     /* the return address is not in the epilogue */
        addq    $40, %rsp
        jmp     finish
        .seh_endproc
.endm

        EXPORT  OpenDevice
        EXPORT  CloseDevice
        EXPORT  getDeviceStatus
        EXPORT  readCard
        EXPORT  GetCardInfo

.macro CLOBBER bit, instruction:vararg
        testl   $(\bit), %r10d
        jz      1f
        \instruction
1:
.endm

/* RAX: the body's result; RSP at the caller's return address. R10 and R11 are
   volatile in the convention. */
        .p2align 4
finish:
        movl    standin_return_clobbers(%rip), %r10d
        testl   %r10d, %r10d
        jnz     1f
        ret
1:      movl    $0, standin_return_clobbers(%rip)
        movabsq $STANDIN_CLOBBER_VALUE64, %r11
        CLOBBER STANDIN_CLOBBER_BX, movq %r11, %rbx
        CLOBBER STANDIN_CLOBBER_SI, movq %r11, %rsi
        CLOBBER STANDIN_CLOBBER_DI, movq %r11, %rdi
        CLOBBER STANDIN_CLOBBER_BP, movq %r11, %rbp
        CLOBBER STANDIN_CLOBBER_R12, movq %r11, %r12
        CLOBBER STANDIN_CLOBBER_R12<<1, movq %r11, %r13
        CLOBBER STANDIN_CLOBBER_R12<<2, movq %r11, %r14
        CLOBBER STANDIN_CLOBBER_R12<<3, movq %r11, %r15
        CLOBBER STANDIN_CLOBBER_XMM6, movdqu xmm_value(%rip), %xmm6
        CLOBBER STANDIN_CLOBBER_XMM6<<1, movdqu xmm_value(%rip), %xmm7
        CLOBBER STANDIN_CLOBBER_XMM6<<2, movdqu xmm_value(%rip), %xmm8
        CLOBBER STANDIN_CLOBBER_XMM6<<3, movdqu xmm_value(%rip), %xmm9
        CLOBBER STANDIN_CLOBBER_XMM6<<4, movdqu xmm_value(%rip), %xmm10
        CLOBBER STANDIN_CLOBBER_XMM6<<5, movdqu xmm_value(%rip), %xmm11
        CLOBBER STANDIN_CLOBBER_XMM6<<6, movdqu xmm_value(%rip), %xmm12
        CLOBBER STANDIN_CLOBBER_XMM6<<7, movdqu xmm_value(%rip), %xmm13
        CLOBBER STANDIN_CLOBBER_XMM6<<8, movdqu xmm_value(%rip), %xmm14
        CLOBBER STANDIN_CLOBBER_XMM6<<9, movdqu xmm_value(%rip), %xmm15
        CLOBBER STANDIN_CLOBBER_X87STACK, fld1  /* while every x87 exception is masked */
        testl   $STANDIN_CLOBBER_X87CW, %r10d
        jz      1f
        fnclex                                  /* no pending exception to fire on unmasking */
        fldcw   x87cw_value(%rip)
1:
        CLOBBER STANDIN_CLOBBER_DF, std
        CLOBBER STANDIN_CLOBBER_MXCSR, ldmxcsr mxcsr_value(%rip)  /* no SSE instruction runs after this */
        ret
