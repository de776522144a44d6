/*
 * The five exports of the stand-in's 32-bit Mervik.dll. Each is an entry here
 * that runs the export's C++ body (standin_body_<name>, MervikExports.cpp) and,
 * after it, changes the caller's state as the script's clobber= asked for this
 * call: the body tells nothing false to the compiler, and the broken contract is
 * all in this file's tail.
 *
 * Technique. The body must see exactly the caller's stack: its arguments, and
 * above them the word that extra= reaches from the body's own frame. So the entry
 * does not call the body; it pops the caller's return address into a small stack
 * of its own (pairs of the entry's ESP and that address), pushes the address of
 * its tail in its place and jumps to the body. The body returns to the tail with
 * ESP as its convention leaves it (stdcall pops its arguments, the cdecl build
 * does not; the tail keeps ESP as it is), and the tail takes the caller's return
 * address back, changes the state asked for (EBP last, after MXCSR) and jumps to
 * it. One object serves both builds: it defines both the decorated stdcall name
 * (_OpenDevice@8, exported undecorated by --kill-at) and the cdecl one.
 *
 * A body that raises never reaches the tail: the caller's guard unwinds past it
 * through the fs:[0] chain, and the pair stays behind. Its ESP tells it apart: a
 * later call at the same depth or above has an ESP at or above it, while a live
 * outer call (one whose body is pumping messages) has its ESP above the nested
 * call's. An entry drops such stale pairs; the tail finds its own pair as the
 * lowest-placed of those below its ESP. When the stack of pairs is full (calls
 * nested that deep), the call runs without a tail and changes nothing.
 *
 * The clobbers are the bits of standin_return_clobbers, which the body's last
 * act sets for this call (0 when none); the tail reads and clears it.
 */
#include "ClobberBits.h"

        .set    DEPTH, 64                       /* pairs: nested calls */

        .bss
        .p2align 2
returns:
        .space  DEPTH * 8                       /* { ESP at entry, return address } */
depth:
        .space  4

        .section .rdata,"dr"
        .p2align 2
x87cw_value:
        .word   STANDIN_CLOBBER_X87CW_VALUE
        .p2align 2
mxcsr_value:
        .long   0                               /* every SSE exception unmasked */

        .text

.macro EXPORT name, bytes
        .def    _\name; .scl 2; .type 32; .endef
        .globl  _\name
        .globl  _\name\()@\bytes
        .p2align 4
_\name:
_\name\()@\bytes:
        movl    $standin_body_\name, %eax
        jmp     enter
.endm

        EXPORT  OpenDevice, 8
        EXPORT  CloseDevice, 4
        EXPORT  getDeviceStatus, 4
        EXPORT  readCard, 4
        EXPORT  GetCardInfo, 12

/* EAX: the body; (%esp): the caller's return address, the arguments above it. */
        .p2align 4
enter:
        movl    depth, %edx
1:      testl   %edx, %edx                      /* drop the stale pairs on top */
        jz      2f
        cmpl    %esp, returns-8(,%edx,8)
        ja      2f                              /* above us: a live outer call */
        decl    %edx
        jmp     1b
2:      cmpl    $DEPTH, %edx
        jae     3f
        movl    %esp, returns(,%edx,8)
        popl    %ecx
        movl    %ecx, returns+4(,%edx,8)
        incl    %edx
        movl    %edx, depth
        pushl   $returned
        jmp     *%eax
3:      movl    %edx, depth
        jmp     *%eax                           /* no room: straight back to the caller */

/* EAX: the body's result; ESP as the body's convention left it. ECX and EDX are
   free in both conventions. */
        .p2align 4
returned:
        movl    depth, %edx
1:      decl    %edx                            /* ours, or a stale pair above ours */
        jz      2f
        cmpl    %esp, returns-8(,%edx,8)
        jb      1b                              /* the one below is below our ESP too */
2:      movl    %edx, depth
        movl    returns+4(,%edx,8), %ecx
        movl    standin_return_clobbers, %edx
        movl    $0, standin_return_clobbers
        testl   %edx, %edx
        jz      9f
        testl   $STANDIN_CLOBBER_BX, %edx
        jz      1f
        movl    $STANDIN_CLOBBER_VALUE, %ebx
1:      testl   $STANDIN_CLOBBER_SI, %edx
        jz      1f
        movl    $STANDIN_CLOBBER_VALUE, %esi
1:      testl   $STANDIN_CLOBBER_DI, %edx
        jz      1f
        movl    $STANDIN_CLOBBER_VALUE, %edi
1:      testl   $STANDIN_CLOBBER_X87STACK, %edx
        jz      1f
        fld1                                    /* while every x87 exception is masked */
1:      testl   $STANDIN_CLOBBER_X87CW, %edx
        jz      1f
        fnclex                                  /* no pending exception to fire on unmasking */
        fldcw   x87cw_value
1:      testl   $STANDIN_CLOBBER_DF, %edx
        jz      1f
        std
1:      testl   $STANDIN_CLOBBER_MXCSR, %edx    /* no SSE instruction runs after this */
        jz      1f
        ldmxcsr mxcsr_value
1:      testl   $STANDIN_CLOBBER_BP, %edx
        jz      9f
        movl    $STANDIN_CLOBBER_VALUE, %ebp
9:      jmp     *%ecx
