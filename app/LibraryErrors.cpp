// The 32-bit program's own definitions of the routines libstdc++ calls to throw
// its errors. Linked in, they keep the library's versions out, and with them the
// library's second, copy-on-write string and the error classes built on it, some
// 50 KB of the program.
//
// The bad_* errors are thrown as before: the dialog procedure catches bad_alloc.
// The others (length_error from a string longer than the address space, and so on)
// are caught nowhere in the program, and in the 32-bit build an exception cannot
// unwind through the system's frames around the dialog procedure: they ended the
// program through std::terminate and abort. They now abort at once, after the same
// kind of line on stderr. Should the program ever catch one of them, delete this file.
#include <bits/functexcept.h>

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <new>
#include <typeinfo>

namespace {

[[noreturn]] void Abort(const char* error, const char* what)
{
    std::fputs("terminate called after ", stderr);
    std::fputs(error, stderr);
    std::fputs(": ", stderr);
    std::fputs(what, stderr);
    std::fputs("\n", stderr);
    std::abort();
}

}  // namespace

namespace std {

void __throw_bad_exception() { throw bad_exception(); }
void __throw_bad_alloc() { throw bad_alloc(); }
void __throw_bad_array_new_length() { throw bad_array_new_length(); }
void __throw_bad_cast() { throw bad_cast(); }
void __throw_bad_typeid() { throw bad_typeid(); }

void __throw_logic_error(const char* what) { Abort("std::logic_error", what); }
void __throw_domain_error(const char* what) { Abort("std::domain_error", what); }
void __throw_invalid_argument(const char* what) { Abort("std::invalid_argument", what); }
void __throw_length_error(const char* what) { Abort("std::length_error", what); }
void __throw_out_of_range(const char* what) { Abort("std::out_of_range", what); }
// The format's arguments are left out: the text names the operation.
void __throw_out_of_range_fmt(const char* format, ...) { Abort("std::out_of_range", format); }
void __throw_runtime_error(const char* what) { Abort("std::runtime_error", what); }
void __throw_range_error(const char* what) { Abort("std::range_error", what); }
void __throw_overflow_error(const char* what) { Abort("std::overflow_error", what); }
void __throw_underflow_error(const char* what) { Abort("std::underflow_error", what); }

}  // namespace std
