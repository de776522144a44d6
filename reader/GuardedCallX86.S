/*
 * zantor_guarded_call for 32-bit Windows: one call of a reader library function
 * that survives whatever the function does.
 *
 * Technique. The routine keeps its own frame in EBP and, for the duration of the
 * call, registers a structured-exception record on the thread's chain (fs:[0]):
 * { previous record, handler, this frame's EBP, the Facts to fill }. Below the
 * record it pushes eight zero words, then the arguments, and calls. Afterwards
 * ESP is set from EBP, never trusted from the callee, so a function that pops
 * its arguments (stdcall), one that leaves them (cdecl) and one that pops more
 * than it was given all return cleanly.
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
 * After the call, returned or raised, fs:[0] is set to the value it had before
 * the call from a copy kept above the record, further from the arguments than
 * the record itself: even a store that reached the record cannot change what
 * the chain is set back to.
 *
 * When the function raises, the handler is called in the search pass. It ignores
 * unwinding passes (EXCEPTION_UNWINDING or EXCEPTION_EXIT_UNWIND set). Otherwise
 * it copies the code, the address and the first two parameters of the exception
 * into the Facts, has RtlUnwind unwind the records the library registered above
 * ours (their cleanup runs; the record chain ends at ours again), takes EBP back
 * from our record and jumps to the same exit as a normal return, with result 0.
 * Unwinding instead of resuming through the context also ends non-continuable
 * exceptions (a C++ throw, Wine's missing-entry-point stub) cleanly. A library
 * that handles its own exceptions has its own record above ours and never
 * reaches this handler.
 *
 * SafeSEH: the handler is not registered with .safeseh, which GNU as 2.40 does
 * not accept; ld writes no SafeSEH table either (no load-configuration
 * directory, NO_SEH clear), and Windows then accepts any handler in the image.
 * A linker that builds such a table would need this handler listed in it.
 *
 * int32_t zantor_guarded_call(const void* function, const uintptr_t* arguments,
 *                             uintptr_t count, Facts* facts);   -- cdecl
 */
        .text

/* Offsets from EBP: saved EBX, ESI, EDI below it, the copy of fs:[0], then our
   record, then the zero words. */
        .set    SAVED, -12
        .set    CHAIN, -16
        .set    PAD_WORDS, 8

        .def    _zantor_guarded_call; .scl 2; .type 32; .endef
        .globl  _zantor_guarded_call
        .p2align 4
_zantor_guarded_call:
        pushl   %ebp
        movl    %esp, %ebp
        pushl   %ebx
        pushl   %esi
        pushl   %edi
        pushl   %fs:0                   /* the copy that fs:[0] is restored from */
        pushl   20(%ebp)                /* record: the Facts */
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
2:      call    *8(%ebp)
.Lexit:
        cld
        movl    CHAIN(%ebp), %ecx
        movl    %ecx, %fs:0
        leal    SAVED(%ebp), %esp
        popl    %edi
        popl    %esi
        popl    %ebx
        popl    %ebp
        ret

/* EXCEPTION_DISPOSITION handler(EXCEPTION_RECORD*, void* record, CONTEXT*, void*) -- cdecl */
        .def    _zantor_guarded_handler; .scl 3; .type 32; .endef
        .p2align 4
_zantor_guarded_handler:
        movl    4(%esp), %eax
        testl   $6, 4(%eax)             /* ExceptionFlags: unwinding */
        jz      1f
        movl    $1, %eax                /* ExceptionContinueSearch */
        ret
1:      movl    8(%esp), %edx
        movl    12(%edx), %edi          /* the Facts */
        movl    $1, 0(%edi)             /* raised */
        movl    0(%eax), %ecx           /* ExceptionCode */
        movl    %ecx, 4(%edi)
        movl    12(%eax), %ecx          /* ExceptionAddress */
        movl    %ecx, 8(%edi)
        movl    16(%eax), %ecx          /* NumberParameters */
        movl    %ecx, 12(%edi)
        movl    20(%eax), %ecx          /* ExceptionInformation[0] */
        movl    %ecx, 16(%edi)
        movl    24(%eax), %ecx          /* ExceptionInformation[1] */
        movl    %ecx, 20(%edi)
        pushl   $0                      /* return value */
        pushl   %eax                    /* exception record */
        pushl   $2f                     /* target instruction */
        pushl   %edx                    /* target frame: our record */
        call    *__imp__RtlUnwind@16
2:      movl    8(%esp), %edx           /* RtlUnwind keeps no other register */
        movl    8(%edx), %ebp
        xorl    %eax, %eax
        jmp     .Lexit
