// The program's entry point, in place of the C runtime's start-up code. Zantor
// takes its command line from Windows, keeps nothing per thread, imports no data
// from a DLL and handles no signals, so of what that start-up sets up it needs
// only three things: its static objects constructed before WinMain, their
// destructors run after it in reverse order, and the x87 unit in the state the
// C runtime leaves it (64-bit precision, every exception masked). Doing just
// that here leaves out about 10 KB of start-up code, its imports and its
// sections. The C runtime's DLL initialises itself, as every DLL does.
#include <windows.h>

// The linker lays the static constructors out between these: a -1, the
// constructors, and a null.
extern "C" void (*__CTOR_LIST__[])();

namespace {

using ExitFunction = void (*)();

// Each function-local static with a destructor registers one when it is first
// constructed; the program has fewer than a dozen.
constexpr int kMaxExitFunctions = 64;
ExitFunction g_exitFunctions[kMaxExitFunctions];
int g_exitFunctionCount = 0;

void RunStaticConstructors()
{
    int count = 0;
    while (__CTOR_LIST__[count + 1] != nullptr) ++count;
    // The compiler lists them in the reverse of the order they are to run in.
    while (count > 0) __CTOR_LIST__[count--]();
}

void RunExitFunctions()
{
    while (g_exitFunctionCount > 0) g_exitFunctions[--g_exitFunctionCount]();
}

}  // namespace

// Registers a destructor of a static object; the compiler calls this.
extern "C" int atexit(ExitFunction function)
{
    if (g_exitFunctionCount == kMaxExitFunctions) return -1;
    g_exitFunctions[g_exitFunctionCount++] = function;
    return 0;
}

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int);

// The stack is realigned: Windows starts the 32-bit program at 4 bytes' alignment.
extern "C" __attribute__((used, force_align_arg_pointer, noreturn)) void WinMainCRTStartup()
{
    __asm__ volatile("fninit");
    RunStaticConstructors();
    const int exitCode = WinMain(GetModuleHandleW(nullptr), nullptr, nullptr, SW_SHOWDEFAULT);
    RunExitFunctions();
    ExitProcess(static_cast<UINT>(exitCode));
}

// Called if a pure virtual function is ever called (a half-constructed object):
// a fault, not a silent return.
extern "C" void __cxa_pure_virtual()
{
    __builtin_trap();
}
