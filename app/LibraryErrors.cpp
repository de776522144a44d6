// The program's own definitions of the routines libstdc++ calls to throw
// its errors. Linked in, they keep the library's versions out, and with them the
// library's second, copy-on-write string and the error classes built on it, some
// 50 KB of the program.
//
// The bad_* errors are thrown as before (the dialog procedure tells bad_alloc
// apart). The others (length_error from a string longer than the address space,
// and so on) are thrown as a plain std::exception carrying the library's text:
// the dialog procedure reports them like any other exception. Only a catch of
// the precise class (std::length_error...) would miss them; the program has none.
#include <bits/functexcept.h>

#include <exception>
#include <new>
#include <typeinfo>

namespace {

// A logic or runtime error of the library, without the string its own classes hold.
class LibraryError final : public std::exception {
public:
    explicit LibraryError(const char* what) noexcept : m_what(what) {}
    const char* what() const noexcept override { return m_what; }

private:
    const char* m_what;  // the library passes static texts
};

}  // namespace

namespace std {

void __throw_bad_exception() { throw bad_exception(); }
void __throw_bad_alloc() { throw bad_alloc(); }
void __throw_bad_array_new_length() { throw bad_array_new_length(); }
void __throw_bad_cast() { throw bad_cast(); }
void __throw_bad_typeid() { throw bad_typeid(); }

void __throw_logic_error(const char* what) { throw LibraryError(what); }
void __throw_domain_error(const char* what) { throw LibraryError(what); }
void __throw_invalid_argument(const char* what) { throw LibraryError(what); }
void __throw_length_error(const char* what) { throw LibraryError(what); }
void __throw_out_of_range(const char* what) { throw LibraryError(what); }
// The format's arguments are left out: the text names the operation.
void __throw_out_of_range_fmt(const char* format, ...) { throw LibraryError(format); }
void __throw_runtime_error(const char* what) { throw LibraryError(what); }
void __throw_range_error(const char* what) { throw LibraryError(what); }
void __throw_overflow_error(const char* what) { throw LibraryError(what); }
void __throw_underflow_error(const char* what) { throw LibraryError(what); }

}  // namespace std
