#include "TextFormat.h"

#include <cstdint>
#include <cstring>

#include "Decimal.h"

namespace {

enum class Size { Int, Char, Short, Long, LongLong, SizeT, IntMax, PtrDiff };

struct Directive {
    bool left = false;
    bool zero = false;
    char sign = 0;  // '+' or ' ' before a value that has no '-'
    int width = 0;
    int precision = -1;
    Size size = Size::Int;
};

void Pad(TextPut put, void* sink, char c, int count)
{
    const char run[8] = {c, c, c, c, c, c, c, c};
    for (; count > 0; count -= 8)
        put(sink, run, static_cast<std::size_t>(count < 8 ? count : 8));
}

// `body`, with `sign` in front (0: none), padded to the width: zeros between the
// sign and the body when `zeros`, else blanks before or after.
void Emit(TextPut put, void* sink, const Directive& directive, char sign, const char* body, std::size_t length, bool zeros)
{
    const int used = static_cast<int>(length) + (sign != 0 ? 1 : 0);
    const int pad = directive.width > used ? directive.width - used : 0;
    if (!directive.left && !zeros)
        Pad(put, sink, ' ', pad);
    if (sign != 0)
        put(sink, &sign, 1);
    if (!directive.left && zeros)
        Pad(put, sink, '0', pad);
    put(sink, body, length);
    if (directive.left)
        Pad(put, sink, ' ', pad);
}

// A number's digits (after any minus sign) with the sign the flags ask for.
void EmitNumber(TextPut put, void* sink, const Directive& directive, const char* text, std::size_t length, bool zeros)
{
    char sign = directive.sign;
    if (length > 0 && text[0] == '-') {
        sign = '-';
        ++text;
        --length;
    }
    Emit(put, sink, directive, sign, text, length, zeros && !directive.left);
}

int Digits(const char*& p)
{
    int value = 0;
    while (*p >= '0' && *p <= '9' && value < 100000)
        value = value * 10 + (*p++ - '0');
    return value;
}

bool ReadSize(const char*& p, Directive& directive)
{
    switch (*p) {
    case 'h':
        directive.size = p[1] == 'h' ? Size::Char : Size::Short;
        p += p[1] == 'h' ? 2 : 1;
        return true;
    case 'l':
        directive.size = p[1] == 'l' ? Size::LongLong : Size::Long;
        p += p[1] == 'l' ? 2 : 1;
        return true;
    case 'z': directive.size = Size::SizeT; ++p; return true;
    case 'j': directive.size = Size::IntMax; ++p; return true;
    case 't': directive.size = Size::PtrDiff; ++p; return true;
    case 'I':
        if (p[1] == '6' && p[2] == '4') {
            directive.size = Size::LongLong;
            p += 3;
        } else if (p[1] == '3' && p[2] == '2') {
            directive.size = Size::Int;
            p += 3;
        } else {
            directive.size = Size::SizeT;
            ++p;
        }
        return true;
    case 'L': return false;  // long double: not written by this program
    default: return true;
    }
}

}  // namespace

bool FormatText(TextPut put, void* sink, const char* format, va_list args)
{
    const char* p = format;
    for (;;) {
        const char* run = p;
        while (*p != 0 && *p != '%')
            ++p;
        if (p != run)
            put(sink, run, static_cast<std::size_t>(p - run));
        if (*p == 0)
            return true;
        ++p;
        Directive directive;
        for (;; ++p) {
            if (*p == '-')
                directive.left = true;
            else if (*p == '0')
                directive.zero = true;
            else if (*p == '+')
                directive.sign = '+';
            else if (*p == ' ')
                directive.sign = directive.sign == '+' ? '+' : ' ';
            else
                break;
        }
        if (*p == '*') {
            ++p;
            directive.width = va_arg(args, int);
            directive.width = directive.width > 100000 ? 100000 : directive.width;
            if (directive.width < 0) {
                directive.left = true;
                directive.width = directive.width < -100000 ? 100000 : -directive.width;
            }
        } else {
            directive.width = Digits(p);
        }
        if (*p == '.') {
            ++p;
            if (*p == '*') {
                ++p;
                directive.precision = va_arg(args, int);
            } else {
                directive.precision = Digits(p);
            }
        }
        bool known = ReadSize(p, directive);
        const char conversion = known ? *p++ : 0;
        char number[decimal::kFixedRoom];
        std::size_t length = 0;
        switch (conversion) {
        case '%':
            put(sink, "%", 1);
            continue;
        case 'd':
        case 'i': {
            std::int64_t value = 0;
            switch (directive.size) {
            case Size::Int: value = va_arg(args, int); break;
            case Size::Char: value = static_cast<signed char>(va_arg(args, int)); break;
            case Size::Short: value = static_cast<short>(va_arg(args, int)); break;
            case Size::Long: value = va_arg(args, long); break;
            case Size::LongLong: value = va_arg(args, long long); break;
            case Size::SizeT:
            case Size::PtrDiff: value = va_arg(args, std::ptrdiff_t); break;
            case Size::IntMax: value = va_arg(args, std::intmax_t); break;
            }
            if (directive.precision > decimal::kMostPadding)
                known = false;
            else if (directive.precision == 0 && value == 0)
                length = 0;  // C's rule: no digit at all
            else if (value < 0) {
                number[0] = '-';
                length = 1 + decimal::WriteUnsigned(number + 1, 0 - static_cast<std::uint64_t>(value), directive.precision);
            } else {
                length = decimal::WriteUnsigned(number, static_cast<std::uint64_t>(value), directive.precision);
            }
            if (known)
                EmitNumber(put, sink, directive, number, length, directive.zero && directive.precision < 0);
            break;
        }
        case 'u':
        case 'x':
        case 'X': {
            std::uint64_t value = 0;
            switch (directive.size) {
            case Size::Int: value = va_arg(args, unsigned); break;
            case Size::Char: value = static_cast<unsigned char>(va_arg(args, unsigned)); break;
            case Size::Short: value = static_cast<unsigned short>(va_arg(args, unsigned)); break;
            case Size::Long: value = va_arg(args, unsigned long); break;
            case Size::LongLong: value = va_arg(args, unsigned long long); break;
            case Size::SizeT:
            case Size::PtrDiff: value = va_arg(args, std::size_t); break;
            case Size::IntMax: value = va_arg(args, std::uintmax_t); break;
            }
            if (directive.precision > decimal::kMostPadding)
                known = false;
            else if (directive.precision == 0 && value == 0)
                length = 0;
            else if (conversion == 'u')
                length = decimal::WriteUnsigned(number, value, directive.precision);
            else
                length = decimal::WriteHex(number, value, directive.precision, conversion == 'X');
            directive.sign = 0;
            if (known)
                EmitNumber(put, sink, directive, number, length, directive.zero && directive.precision < 0);
            break;
        }
        case 'c':
            number[0] = static_cast<char>(va_arg(args, int));
            Emit(put, sink, directive, 0, number, 1, false);
            break;
        case 's': {
            const char* text = va_arg(args, const char*);
            if (text == nullptr)
                text = "(null)";
            std::size_t count = 0;
            while (text[count] != 0 && (directive.precision < 0 || count < static_cast<std::size_t>(directive.precision)))
                ++count;
            Emit(put, sink, directive, 0, text, count, false);
            break;
        }
        case 'f':
        case 'F':
        case 'g':
        case 'G': {
            const double value = va_arg(args, double);
            const bool fixed = conversion == 'f' || conversion == 'F';
            const int most = fixed ? decimal::kMostDecimals : decimal::kMostDecimals + 1;
            const int precision = directive.precision < 0 ? 6 : directive.precision;
            if (precision > most) {
                known = false;
                break;
            }
            length = fixed ? decimal::WriteFixed(number, value, precision)
                           : decimal::WriteGeneral(number, value, precision);
            if (length == 0) {
                Emit(put, sink, directive, 0, "null", 4, false);  // NaN or an infinity: no number at all
                break;
            }
            if (conversion == 'G') {
                for (std::size_t i = 0; i < length; ++i)
                    number[i] = number[i] == 'e' ? 'E' : number[i];
            }
            EmitNumber(put, sink, directive, number, length, directive.zero);
            break;
        }
        default:
            known = false;
            break;
        }
        if (!known) {
            put(sink, kFormatMistake, sizeof kFormatMistake - 1);
            return false;
        }
    }
}
