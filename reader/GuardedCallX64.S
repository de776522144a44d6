/*
 * zantor_guarded_call for 64-bit Windows: one call of a reader library function
 * that survives whatever the function does, and records the machine state the
 * function was called with and the state it returned with.
 *
 * Where the guard keeps itself. A library function may return with any register
 * changed, RSP included, so after the call the guard trusts none of them. Its
 * own state lives in the GuardRecord the caller passes, which the caller keeps
 * in static storage, and the guard finds it again through one static pointer,
 * zantor_guard_current: memory that no argument of the library points into.
 * Calls do not nest in the console; should a library call a guarded function
 * from inside its own call (a test does), each GuardRecord links to the one
 * before it, and the pointer is set back on the way out.
 *
 * Exceptions. x64 Windows finds handlers through each function's unwind
 * information, not through a chain on the stack. So the routine declares its
 * own: the prologue below is described with the .seh_ directives (it saves every
 * callee-saved register, XMM6-XMM15 included), and the unwind information names
 * zantor_guarded_handler as the frame's exception handler. Every label and every
 * stack slot is fixed here.
 *
 * The frame, from RSP after the prologue (the establisher frame):
 *   0..31    the home area of the four register parameters, zero
 *   32..95   the slots of parameters 5 to 12, zero
 *   96..255  XMM6-XMM15 as the caller had them
 *   256      alignment
 *   264      R15, R14, R13, R12, RSI, RDI, RBX, RBP, then the return address
 * The function is called as one of twelve parameters: RCX, RDX and R8 from the
 * arguments (zero for ones not passed), R9 zero, and eight zero stack slots. A
 * function whose real signature has more parameters than the console passes
 * reads zeros in them; it may store into them, since the caller provides these
 * slots, and nothing of the guard's lies there; writing through such a parameter
 * faults at a low address, and that fault is reported like any other.
 *
 * What is recorded (all comparing and reporting is the caller's, in C++): just
 * before the call, the callee-saved general registers, RSP, RFLAGS, MXCSR, the
 * x87 control word and XMM6-XMM15; just after it, the same and the x87 tag word.
 * Then the guard puts back what the caller may rely on: RSP from the
 * GuardRecord, every callee-saved register from the frame, TF, DF and AC as
 * they were at the call (a library that returns with alignment checking on
 * would fault in the caller's next unaligned access, one that returns with TF
 * set traps at each instruction), the x87
 * unit reset with the control word it had (which also empties its register
 * stack), and MXCSR.
 *
 * When the function raises, the dispatcher calls the handler in its search pass
 * with our establisher frame. The handler ignores unwinding passes
 * (EXCEPTION_UNWINDING or EXCEPTION_EXIT_UNWIND set) and asks zantor_guard_catch
 * (GuardedCall.cpp), which uses the static pointer only when it names one of the
 * guard's records whose frame is the establisher frame, and passes anything else
 * on. For the guard's own call, unless an earlier exception of this call is
 * already recorded (one raised while the library's own cleanup ran during our
 * unwind), it records the code, the address, the first two parameters and, for
 * a software exception, the first return address into the library (walking the
 * frames by their unwind data); the handler then calls RtlUnwindEx to unwind the
 * frames above ours (their cleanup runs) and resume at the same place as a
 * normal return, with RAX 0. Unwinding instead of resuming through the context
 * also ends non-continuable exceptions (a C++ throw, Wine's missing-entry-point
 * stub) cleanly. A library that handles its own exceptions has its own handlers
 * in frames above ours and never reaches this one. A single-step trap at the
 * guard's return (the function returned with TF set) is resumed with TF clear:
 * the call returned.
 *
 * int32_t zantor_guarded_call(const void* function, const uintptr_t* arguments,
 *                             uintptr_t count, GuardRecord* record);
 */
        .set    FRAME, 264              /* bytes below the saved registers */
        .set    ZERO_SLOTS, 12          /* home area and parameters 5 to 12 */
        .set    XMM_SAVE, 96
        .set    RESTORED_FLAGS, 0x40500 /* RFLAGS put back from the copy taken at the call: TF, DF, AC */

/* GuardRecord (reader/GuardedCall.h checks these offsets). */
        .set    PREVIOUS, 0
        .set    SAVED_FRAME, 8
        .set    RESULT, 16
        .set    RAISED, 24
        .set    CODE, 32
        .set    ADDRESS, 40
        .set    PARAMETERS, 48
        .set    INFORMATION, 56
        .set    AT_CALL, 72
        .set    AT_RETURN, 328
        .set    FPU_ENVIRONMENT, 584
/* MachineState */
        .set    RBX_, 0
        .set    RBP_, 8
        .set    RDI_, 16
        .set    RSI_, 24
        .set    R12_, 32
        .set    R13_, 40
        .set    R14_, 48
        .set    R15_, 56
        .set    RSP_, 64
        .set    FLAGS_, 72
        .set    MXCSR_, 80
        .set    X87_CONTROL, 84
        .set    X87_TAG, 86
        .set    XMM_, 96

        .bss
        .p2align 3
        .globl  zantor_guard_current
zantor_guard_current:
        .space  8

/* Stores the callee-saved registers into the MachineState at \at(\base). */
.macro  SAVE_STATE base, at
        movq    %rbx, \at+RBX_(\base)
        movq    %rbp, \at+RBP_(\base)
        movq    %rdi, \at+RDI_(\base)
        movq    %rsi, \at+RSI_(\base)
        movq    %r12, \at+R12_(\base)
        movq    %r13, \at+R13_(\base)
        movq    %r14, \at+R14_(\base)
        movq    %r15, \at+R15_(\base)
.endm
.macro  SAVE_XMM base, at
        movdqu  %xmm6, \at+XMM_+0(\base)
        movdqu  %xmm7, \at+XMM_+16(\base)
        movdqu  %xmm8, \at+XMM_+32(\base)
        movdqu  %xmm9, \at+XMM_+48(\base)
        movdqu  %xmm10, \at+XMM_+64(\base)
        movdqu  %xmm11, \at+XMM_+80(\base)
        movdqu  %xmm12, \at+XMM_+96(\base)
        movdqu  %xmm13, \at+XMM_+112(\base)
        movdqu  %xmm14, \at+XMM_+128(\base)
        movdqu  %xmm15, \at+XMM_+144(\base)
.endm

        .text
        .def    zantor_guarded_call; .scl 2; .type 32; .endef
        .globl  zantor_guarded_call
        .p2align 4
        .seh_proc zantor_guarded_call
zantor_guarded_call:
        .seh_handler zantor_guarded_handler, @except
        pushq   %rbp
        .seh_pushreg %rbp
        pushq   %rbx
        .seh_pushreg %rbx
        pushq   %rdi
        .seh_pushreg %rdi
        pushq   %rsi
        .seh_pushreg %rsi
        pushq   %r12
        .seh_pushreg %r12
        pushq   %r13
        .seh_pushreg %r13
        pushq   %r14
        .seh_pushreg %r14
        pushq   %r15
        .seh_pushreg %r15
        subq    $FRAME, %rsp
        .seh_stackalloc FRAME
        movaps  %xmm6, XMM_SAVE+0(%rsp)
        .seh_savexmm %xmm6, XMM_SAVE+0
        movaps  %xmm7, XMM_SAVE+16(%rsp)
        .seh_savexmm %xmm7, XMM_SAVE+16
        movaps  %xmm8, XMM_SAVE+32(%rsp)
        .seh_savexmm %xmm8, XMM_SAVE+32
        movaps  %xmm9, XMM_SAVE+48(%rsp)
        .seh_savexmm %xmm9, XMM_SAVE+48
        movaps  %xmm10, XMM_SAVE+64(%rsp)
        .seh_savexmm %xmm10, XMM_SAVE+64
        movaps  %xmm11, XMM_SAVE+80(%rsp)
        .seh_savexmm %xmm11, XMM_SAVE+80
        movaps  %xmm12, XMM_SAVE+96(%rsp)
        .seh_savexmm %xmm12, XMM_SAVE+96
        movaps  %xmm13, XMM_SAVE+112(%rsp)
        .seh_savexmm %xmm13, XMM_SAVE+112
        movaps  %xmm14, XMM_SAVE+128(%rsp)
        .seh_savexmm %xmm14, XMM_SAVE+128
        movaps  %xmm15, XMM_SAVE+144(%rsp)
        .seh_savexmm %xmm15, XMM_SAVE+144
        .seh_endprologue
        movq    zantor_guard_current(%rip), %rax
        movq    %rax, PREVIOUS(%r9)
        movq    %r9, zantor_guard_current(%rip)
        movq    %rsp, SAVED_FRAME(%r9)
        movq    %rcx, %r11              /* the function */
        movq    %rdx, %r10              /* the arguments */
        xorl    %eax, %eax
        .irp    slot, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11
        movq    %rax, 8*\slot(%rsp)
        .endr
        xorl    %ecx, %ecx
        xorl    %edx, %edx
        cmpq    $1, %r8                 /* R8 holds the count until the third argument */
        jb      1f
        movq    0(%r10), %rcx
        cmpq    $2, %r8
        jb      1f
        movq    8(%r10), %rdx
        cmpq    $3, %r8
        jb      1f
        movq    16(%r10), %r8
        jmp     2f
1:      xorl    %r8d, %r8d
2:      SAVE_STATE %r9, AT_CALL
        SAVE_XMM %r9, AT_CALL
        stmxcsr AT_CALL+MXCSR_(%r9)
        fnstcw  AT_CALL+X87_CONTROL(%r9)
        pushfq
        popq    AT_CALL+FLAGS_(%r9)
        movq    %rsp, AT_CALL+RSP_(%r9)
        xorl    %eax, %eax
        xorl    %r9d, %r9d
        call    *%r11
.Lreturned:
        .globl  zantor_guard_returned
zantor_guard_returned:
        /* Nothing but the static pointer is trusted here: EAX is the result (0
           after a raise), every other register is the library's. */
        movq    zantor_guard_current(%rip), %rcx
        movq    %rax, RESULT(%rcx)
        SAVE_STATE %rcx, AT_RETURN
        movq    %rsp, AT_RETURN+RSP_(%rcx)
        movq    SAVED_FRAME(%rcx), %rsp /* our own frame again */
        pushfq
        popq    AT_RETURN+FLAGS_(%rcx)
        movq    AT_RETURN+FLAGS_(%rcx), %rax    /* TF, DF and AC as at the call */
        andq    $~RESTORED_FLAGS, %rax
        movq    AT_CALL+FLAGS_(%rcx), %rdx
        andq    $RESTORED_FLAGS, %rdx
        orq     %rdx, %rax
        pushq   %rax
        popfq
        SAVE_XMM %rcx, AT_RETURN
        stmxcsr AT_RETURN+MXCSR_(%rcx)
        fnstcw  AT_RETURN+X87_CONTROL(%rcx)
        fnstenv FPU_ENVIRONMENT(%rcx)
        movw    FPU_ENVIRONMENT+8(%rcx), %ax
        movw    %ax, AT_RETURN+X87_TAG(%rcx)
        fninit
        fldcw   AT_CALL+X87_CONTROL(%rcx)
        ldmxcsr AT_CALL+MXCSR_(%rcx)
        movq    PREVIOUS(%rcx), %rax
        movq    %rax, zantor_guard_current(%rip)
        movq    RESULT(%rcx), %rax
        movaps  XMM_SAVE+0(%rsp), %xmm6
        movaps  XMM_SAVE+16(%rsp), %xmm7
        movaps  XMM_SAVE+32(%rsp), %xmm8
        movaps  XMM_SAVE+48(%rsp), %xmm9
        movaps  XMM_SAVE+64(%rsp), %xmm10
        movaps  XMM_SAVE+80(%rsp), %xmm11
        movaps  XMM_SAVE+96(%rsp), %xmm12
        movaps  XMM_SAVE+112(%rsp), %xmm13
        movaps  XMM_SAVE+128(%rsp), %xmm14
        movaps  XMM_SAVE+144(%rsp), %xmm15
        addq    $FRAME, %rsp
        popq    %r15
        popq    %r14
        popq    %r13
        popq    %r12
        popq    %rsi
        popq    %rdi
        popq    %rbx
        popq    %rbp
        ret
        .seh_endproc

/* EXCEPTION_DISPOSITION handler(EXCEPTION_RECORD* RCX, void* establisherFrame RDX,
                                 CONTEXT* R8, DISPATCHER_CONTEXT* R9)
   What to do is zantor_guard_catch's to say (GuardedCall.cpp): pass the
   exception on, resume at the context it changed, or unwind to the return. */
        .def    zantor_guarded_handler; .scl 3; .type 32; .endef
        .p2align 4
        .seh_proc zantor_guarded_handler
zantor_guarded_handler:
        subq    $56, %rsp               /* home area, two stack arguments, alignment */
        .seh_stackalloc 56
        .seh_endprologue
        testl   $6, 4(%rcx)             /* ExceptionFlags: unwinding */
        jnz     2f
        movq    %rcx, 64(%rsp)          /* our own home area */
        movq    %rdx, 72(%rsp)
        movq    %r8, 80(%rsp)
        movq    %r9, 88(%rsp)
        call    zantor_guard_catch      /* (exception record, establisher frame, context) */
        cmpl    $2, %eax                /* Catch::Unwind */
        jne     3f                      /* ExceptionContinueExecution or ExceptionContinueSearch */
        movq    80(%rsp), %r8
        movq    %r8, 32(%rsp)           /* the context record */
        movq    88(%rsp), %r9
        movq    64(%r9), %r10           /* DISPATCHER_CONTEXT::HistoryTable */
        movq    %r10, 40(%rsp)
        movq    64(%rsp), %r8           /* the exception record */
        movq    72(%rsp), %rcx          /* target frame: the guard's */
        leaq    .Lreturned(%rip), %rdx  /* target instruction */
        xorl    %r9d, %r9d              /* return value */
        call    *__imp_RtlUnwindEx(%rip)
2:      movl    $1, %eax                /* ExceptionContinueSearch */
3:      addq    $56, %rsp
        ret
        .seh_endproc
