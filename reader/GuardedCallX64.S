/*
 * zantor_guarded_call for 64-bit Windows: one call of a reader library function
 * that survives whatever the function does.
 *
 * Technique. x64 Windows has one calling convention, and exceptions are found
 * through each function's unwind information, not through a chain on the stack.
 * So the routine declares its own: the prologue below is described with the
 * .seh_ directives, and the unwind information names zantor_guarded_handler as
 * the frame's exception handler. Nothing rests on what a compiler knows about
 * control flow: every label and every stack slot is fixed here.
 *
 * The frame, from RSP after the prologue (the establisher frame):
 *   0..31  the home area of the four register parameters
 *   32     the fifth parameter's slot, zero
 *   40     the sixth parameter's slot, zero
 *   48     the Facts to fill
 *   56     unused (the call is 16-byte aligned)
 *   64     the caller's RBP, then the return address
 * The function is called as one of six parameters: RCX, RDX and R8 from the
 * arguments (zero for ones not passed), R9 zero and the two stack slots zero. A
 * function whose real signature has more parameters than the console passes
 * reads zeros in them, not what the registers and the stack last held; it may
 * store into them, since the caller provides these slots; writing through such a
 * parameter faults at a low address, and that fault is reported like any other.
 * RBP keeps a copy of the frame's RSP, from which RSP is set after a normal
 * return, so that a function that returns with RSP off still ends cleanly.
 *
 * When the function raises, the dispatcher calls the handler in its search pass
 * with our establisher frame. The handler ignores unwinding passes
 * (EXCEPTION_UNWINDING or EXCEPTION_EXIT_UNWIND set). Otherwise it finds the
 * Facts at its fixed offset in our frame, copies the code, the address and the
 * first two parameters of the exception into them, and calls RtlUnwindEx to
 * unwind the frames above ours (their cleanup runs) and resume at .Lexit, our
 * frame restored, RAX 0. Unwinding instead of resuming through the context also
 * ends non-continuable exceptions (a C++ throw, Wine's missing-entry-point stub)
 * cleanly. The exit returns 0 when the Facts say the call raised. A library that
 * handles its own exceptions has its own handlers in frames above ours and never
 * reaches this one.
 *
 * int32_t zantor_guarded_call(const void* function, const uintptr_t* arguments,
 *                             uintptr_t count, Facts* facts);
 */
        .text

        .set    FRAME, 64               /* bytes below the saved RBP */
        .set    FIFTH, 32
        .set    SIXTH, 40
        .set    FACTS, 48

        .def    zantor_guarded_call; .scl 2; .type 32; .endef
        .globl  zantor_guarded_call
        .p2align 4
        .seh_proc zantor_guarded_call
zantor_guarded_call:
        .seh_handler zantor_guarded_handler, @except
        pushq   %rbp
        .seh_pushreg %rbp
        subq    $FRAME, %rsp
        .seh_stackalloc FRAME
        .seh_endprologue
        movq    %rsp, %rbp
        movq    %r9, FACTS(%rsp)
        movq    %rcx, %rax              /* the function */
        movq    %rdx, %r11              /* the arguments */
        xorl    %ecx, %ecx
        xorl    %edx, %edx
        xorl    %r9d, %r9d
        movq    %r9, FIFTH(%rsp)
        movq    %r9, SIXTH(%rsp)
        cmpq    $1, %r8                 /* R8 holds the count until the third argument */
        jb      1f
        movq    0(%r11), %rcx
        cmpq    $2, %r8
        jb      1f
        movq    8(%r11), %rdx
        cmpq    $3, %r8
        jb      1f
        movq    16(%r11), %r8
        jmp     2f
1:      xorl    %r8d, %r8d
2:      call    *%rax
        movq    %rbp, %rsp
.Lexit:
        cld
        movq    FACTS(%rsp), %rcx
        cmpq    $0, 0(%rcx)             /* raised */
        je      3f
        xorl    %eax, %eax
3:      addq    $FRAME, %rsp
        popq    %rbp
        ret
        .seh_endproc

/* EXCEPTION_DISPOSITION handler(EXCEPTION_RECORD* RCX, void* establisherFrame RDX,
                                 CONTEXT* R8, DISPATCHER_CONTEXT* R9) */
        .def    zantor_guarded_handler; .scl 3; .type 32; .endef
        .p2align 4
        .seh_proc zantor_guarded_handler
zantor_guarded_handler:
        subq    $56, %rsp               /* home area, two stack arguments, alignment */
        .seh_stackalloc 56
        .seh_endprologue
        testl   $6, 4(%rcx)             /* ExceptionFlags: unwinding */
        jnz     1f
        movq    FACTS(%rdx), %rax       /* the Facts, from the guard's frame */
        movq    $1, 0(%rax)             /* raised */
        movl    0(%rcx), %r10d          /* ExceptionCode */
        movq    %r10, 8(%rax)
        movq    16(%rcx), %r10          /* ExceptionAddress */
        movq    %r10, 16(%rax)
        movl    24(%rcx), %r10d         /* NumberParameters */
        movq    %r10, 24(%rax)
        movq    32(%rcx), %r10          /* ExceptionInformation[0] */
        movq    %r10, 32(%rax)
        movq    40(%rcx), %r10          /* ExceptionInformation[1] */
        movq    %r10, 40(%rax)
        movq    %r8, 32(%rsp)           /* the context record */
        movq    64(%r9), %r10           /* DISPATCHER_CONTEXT::HistoryTable */
        movq    %r10, 40(%rsp)
        movq    %rcx, %r8               /* the exception record */
        movq    %rdx, %rcx              /* target frame: the guard's */
        leaq    .Lexit(%rip), %rdx      /* target instruction */
        xorl    %r9d, %r9d              /* return value */
        call    *__imp_RtlUnwindEx(%rip)
1:      movl    $1, %eax                /* ExceptionContinueSearch */
        addq    $56, %rsp
        ret
        .seh_endproc
