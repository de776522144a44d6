// The program's terminate handler, in place of libstdc++'s verbose one, which
// demangles the exception's type name: the demangler and what it brings in would
// be some 70 KB of the program. This one writes the same line with the type's raw
// name (a window program seldom has a stderr to read it) and aborts, as that one
// does.
#include <cstdio>
#include <cstdlib>
#include <cxxabi.h>
#include <typeinfo>

namespace __gnu_cxx {

void __verbose_terminate_handler();

void __verbose_terminate_handler()
{
    if (const std::type_info* type = abi::__cxa_current_exception_type()) {
        std::fputs("terminate called after throwing an instance of '", stderr);
        std::fputs(type->name(), stderr);
        std::fputs("'\n", stderr);
    } else {
        std::fputs("terminate called without an active exception\n", stderr);
    }
    std::abort();
}

}  // namespace __gnu_cxx
