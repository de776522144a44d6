/*
 * zantor_guarded_call for 32-bit Windows: one call of a reader library function
 * that survives whatever the function does.
 *
 * Technique. The routine keeps its own frame in EBP and, for the duration of the
 * call, registers a structured-exception record on the thread's chain (fs:[0]):
 * { previous record, handler, this frame's EBP, the Facts to fill }. It pushes
 * the arguments and calls. Afterwards ESP is set from EBP, never trusted from the
 * callee, so a function that pops its arguments (stdcall) and one that leaves
 * them (cdecl) both return cleanly; the record is then taken off the chain.
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
 * int32_t zantor_guarded_call(const void* function, const uintptr_t* arguments,
 *                             uintptr_t count, Facts* facts);   -- cdecl
 */
        .text

/* Offsets from EBP: saved EBX, ESI, EDI below it, then our record. */
        .set    RECORD, -28
        .set    SAVED, -12

        .globl  _zantor_guarded_call
        .p2align 4
_zantor_guarded_call:
        pushl   %ebp
        movl    %esp, %ebp
        pushl   %ebx
        pushl   %esi
        pushl   %edi
        pushl   20(%ebp)                /* record: the Facts */
        pushl   %ebp                    /* record: this frame */
        pushl   $_zantor_guarded_handler
        pushl   %fs:0                   /* record: previous */
        movl    %esp, %fs:0
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
        leal    RECORD(%ebp), %esp
        popl    %ecx
        movl    %ecx, %fs:0
        leal    SAVED(%ebp), %esp
        popl    %edi
        popl    %esi
        popl    %ebx
        popl    %ebp
        ret

/* EXCEPTION_DISPOSITION handler(EXCEPTION_RECORD*, void* record, CONTEXT*, void*) -- cdecl */
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
