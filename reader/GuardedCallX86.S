/*
 * zantor_guarded_call for 32-bit Windows: one call of a reader library function
 * that survives whatever the function does, and records the machine state the
 * function was called with and the state it returned with.
 *
 * Where the guard keeps itself. A library function may return with any register
 * changed, EBP and ESP included, so after the call the guard trusts neither.
 * Its own state lives in the GuardRecord the caller passes, which the caller
 * keeps in static storage, and the guard finds it again through one static
 * pointer, zantor_guard_current: memory that no argument of the library points
 * into. Calls do not nest in the console; should a library call a guarded
 * function from inside its own call (a test does), each GuardRecord links to
 * the one before it, and the pointer is set back on the way out.
 *
 * The frame. The routine keeps its own frame (found again through the
 * GuardRecord) and, for the duration of the call, registers a structured-
 * exception record on the thread's chain (fs:[0]): { previous record, handler,
 * this frame's EBP, 0 }. Below the record it pushes eight zero words, then the
 * arguments, and calls with EAX, ECX and EDX zero (a function built for a
 * register convention reads them).
 *
 * The zero words are for a function whose real signature has more parameters
 * than the console passes: the slots of up to eight such parameters are these
 * words, not our record. Such a function reads zeros; storing into its own
 * parameter slot stores into them; writing through such a parameter writes near
 * address 0 and faults, and the fault is reported like any other. Without them
 * the first missing parameter would be the record's link, and a store into it
 * breaks the chain that Windows (with SEH overwrite protection) checks at the
 * next exception, ending the process without a word.
 *
 * What is recorded (all comparing and reporting is the caller's, in C++): just
 * before the call, EBX, ESI, EDI, EBP, ESP, EFLAGS, MXCSR, the x87 control word
 * and fs:[0]; just after it, the same and the x87 tag word. Then the guard puts
 * back what the caller may rely on: its EBX, ESI, EDI and EBP from the frame,
 * ESP from the frame, TF, DF and AC as they were at the call (a library that
 * returns with alignment checking on would fault in the caller's next unaligned
 * access, one that returns with TF set traps at each instruction), the x87 unit
 * reset with the control word it had
 * (which also empties its register stack), MXCSR, and fs:[0] from a copy kept
 * above the record, further from the arguments than the record itself.
 *
 * When the function raises, the handler is called in the search pass. It ignores
 * unwinding passes (EXCEPTION_UNWINDING or EXCEPTION_EXIT_UNWIND set) and asks
 * zantor_guard_catch (GuardedCall.cpp), which uses the static pointer only when
 * it names one of the guard's records whose frame holds the exception record
 * the handler was called for, and passes anything else on. For the guard's own
 * call, unless an earlier exception of this call is already recorded (one raised
 * while the library's own cleanup ran during our unwind), it records the code,
 * the address, the first two parameters and, for a software exception, the
 * first return address into the library; the handler then has RtlUnwind unwind
 * the records the library registered above ours (their cleanup runs) and jumps
 * to the same place as a normal return, with result 0. Unwinding instead of
 * resuming through the context also ends non-continuable exceptions (a C++
 * throw, Wine's missing-entry-point stub) cleanly. A library that handles its
 * own exceptions has its own record above ours and never reaches this handler.
 * A single-step trap at the guard's return (the function returned with TF set)
 * is resumed with TF clear: the call returned.
 *
 * SafeSEH: the handler is not registered with .safeseh, which GNU as 2.40 does
 * not accept; ld writes no SafeSEH table either (no load-configuration
 * directory, NO_SEH clear), and Windows then accepts any handler in the image.
 * A linker that builds such a table would need this handler listed in it.
 *
 * int32_t zantor_guarded_call(const void* function, const uintptr_t* arguments,
 *                             uintptr_t count, GuardRecord* record);   -- cdecl
 */
        .text

/* Offsets from EBP: saved EBX, ESI, EDI below it, the copy of fs:[0], then our
   record, then the zero words. */
        .set    SAVED, -12
        .set    CHAIN, -16
        .set    RECORD, -32
        .set    PAD_WORDS, 8

/* EFLAGS put back from the copy taken at the call: TF, DF, AC. */
        .set    RESTORED_FLAGS, 0x40500

/* GuardRecord (reader/GuardedCall.h checks these offsets). */
        .set    PREVIOUS, 0
        .set    FRAME, 4
        .set    RESULT, 8
        .set    RAISED, 12
        .set    CODE, 16
        .set    ADDRESS, 20
        .set    PARAMETERS, 24
        .set    INFORMATION, 28
        .set    AT_CALL, 36
        .set    AT_RETURN, 72
        .set    FPU_ENVIRONMENT, 108
/* MachineState */
        .set    EBX_, 0
        .set    ESI_, 4
        .set    EDI_, 8
        .set    EBP_, 12
        .set    ESP_, 16
        .set    FLAGS_, 20
        .set    MXCSR_, 24
        .set    X87_CONTROL, 28
        .set    X87_TAG, 30
        .set    CHAIN_, 32

        .bss
        .p2align 2
        .globl  _zantor_guard_current
_zantor_guard_current:
        .space  4

        .text
        .def    _zantor_guarded_call; .scl 2; .type 32; .endef
        .globl  _zantor_guarded_call
        .p2align 4
_zantor_guarded_call:
        pushl   %ebp
        movl    %esp, %ebp
        pushl   %ebx
        pushl   %esi
        pushl   %edi
        movl    20(%ebp), %edi          /* the GuardRecord */
        movl    _zantor_guard_current, %eax
        movl    %eax, PREVIOUS(%edi)
        movl    %edi, _zantor_guard_current
        movl    %ebp, FRAME(%edi)
        pushl   %fs:0                   /* the copy that fs:[0] is restored from */
        pushl   $0                      /* record: unused */
        pushl   %ebp                    /* record: this frame */
        pushl   $_zantor_guarded_handler
        pushl   %fs:0                   /* record: previous */
        movl    %esp, %fs:0
        .rept   PAD_WORDS
        pushl   $0
        .endr
        movl    12(%ebp), %esi
        movl    16(%ebp), %ecx
1:      testl   %ecx, %ecx              /* arguments right to left */
        jz      2f
        decl    %ecx
        pushl   (%esi,%ecx,4)
        jmp     1b
2:      movl    -8(%ebp), %esi          /* the caller's ESI and EDI, as the function sees them */
        stmxcsr AT_CALL+MXCSR_(%edi)
        fnstcw  AT_CALL+X87_CONTROL(%edi)
        movl    %fs:0, %eax
        movl    %eax, AT_CALL+CHAIN_(%edi)
        pushfl
        popl    AT_CALL+FLAGS_(%edi)
        movl    %ebx, AT_CALL+EBX_(%edi)
        movl    %esi, AT_CALL+ESI_(%edi)
        movl    %ebp, AT_CALL+EBP_(%edi)
        movl    %esp, AT_CALL+ESP_(%edi)
        movl    -12(%ebp), %eax         /* the caller's EDI */
        movl    %eax, AT_CALL+EDI_(%edi)
        movl    AT_CALL+EDI_(%edi), %edi
        xorl    %eax, %eax
        xorl    %ecx, %ecx
        xorl    %edx, %edx
        call    *8(%ebp)
.Lreturned:
        .globl  _zantor_guard_returned
_zantor_guard_returned:
        /* Nothing but the static pointer is trusted here: EAX is the result (0
           after a raise), every other register is the library's. */
        movl    _zantor_guard_current, %edx
        movl    %eax, RESULT(%edx)
        movl    %ebx, AT_RETURN+EBX_(%edx)
        movl    %esi, AT_RETURN+ESI_(%edx)
        movl    %edi, AT_RETURN+EDI_(%edx)
        movl    %ebp, AT_RETURN+EBP_(%edx)
        movl    %esp, AT_RETURN+ESP_(%edx)
        movl    FRAME(%edx), %ebp
        leal    RECORD(%ebp), %esp      /* our own stack again, below the record */
        pushfl
        popl    AT_RETURN+FLAGS_(%edx)
        movl    AT_RETURN+FLAGS_(%edx), %eax    /* TF, DF and AC as at the call */
        andl    $~RESTORED_FLAGS, %eax
        movl    AT_CALL+FLAGS_(%edx), %ecx
        andl    $RESTORED_FLAGS, %ecx
        orl     %ecx, %eax
        pushl   %eax
        popfl
        stmxcsr AT_RETURN+MXCSR_(%edx)
        fnstcw  AT_RETURN+X87_CONTROL(%edx)
        fnstenv FPU_ENVIRONMENT(%edx)
        movw    FPU_ENVIRONMENT+8(%edx), %ax
        movw    %ax, AT_RETURN+X87_TAG(%edx)
        movl    %fs:0, %eax
        movl    %eax, AT_RETURN+CHAIN_(%edx)
        fninit
        fldcw   AT_CALL+X87_CONTROL(%edx)
        ldmxcsr AT_CALL+MXCSR_(%edx)
        movl    CHAIN(%ebp), %eax
        movl    %eax, %fs:0
        movl    PREVIOUS(%edx), %eax
        movl    %eax, _zantor_guard_current
        movl    RESULT(%edx), %eax
        leal    SAVED(%ebp), %esp
        popl    %edi
        popl    %esi
        popl    %ebx
        popl    %ebp
        ret

/* EXCEPTION_DISPOSITION handler(EXCEPTION_RECORD*, void* record, CONTEXT*, void*) -- cdecl
   What to do is zantor_guard_catch's to say (GuardedCall.cpp): pass the
   exception on, resume at the context it changed, or unwind to the return. */
        .def    _zantor_guarded_handler; .scl 3; .type 32; .endef
        .p2align 4
_zantor_guarded_handler:
        movl    4(%esp), %eax
        testl   $6, 4(%eax)             /* ExceptionFlags: unwinding */
        jz      1f
        movl    $1, %eax                /* ExceptionContinueSearch */
        ret
1:      pushl   12(%esp)                /* the context */
        pushl   12(%esp)                /* the establisher frame: the record we were called for */
        pushl   12(%esp)                /* the exception record */
        call    _zantor_guard_catch
        addl    $12, %esp
        cmpl    $2, %eax                /* Catch::Unwind */
        je      2f
        ret                             /* ExceptionContinueExecution or ExceptionContinueSearch */
2:      movl    4(%esp), %eax
        pushl   $0                      /* return value */
        pushl   %eax                    /* exception record */
        pushl   $3f                     /* target instruction */
        pushl   8+12(%esp)              /* target frame: our record */
        call    *__imp__RtlUnwind@16
3:      xorl    %eax, %eax
        jmp     .Lreturned
