// The program's own printf engine and its front ends.
#include "app/format.h"

#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>

int Et_EvalTrace = 0;

namespace {

enum class Kind {
  Radix,       // integer in the row's base
  String,      // %s
  Escaped,     // %q
  DynString,   // %z: the string is released after use
  CharX,       // %c
  Ordinal,     // %r
  Float,       // %f
  Exp,         // %e %E
  Generic,     // %g %G
  Size,        // %n
  Percent,     // %%
  CharLit,     // %' followed by the character
};

struct FormatInfo {
  char letter;
  int base;
  const char *digits;  // for e, E, g, G: the exponent letter
  bool isSigned;
  const char *prefix;  // written by the "#" flag, or null
  Kind kind;
};

const char kDecimal[] = "0123456789";

// Searched linearly: the common letters come first.
const FormatInfo fmtinfo[] = {
    {'d', 10, kDecimal, true, nullptr, Kind::Radix},
    {'s', 0, nullptr, false, nullptr, Kind::String},
    {'q', 0, nullptr, false, nullptr, Kind::Escaped},
    {'z', 0, nullptr, false, nullptr, Kind::DynString},
    {'c', 0, nullptr, false, nullptr, Kind::CharX},
    {'o', 8, "01234567", false, "0", Kind::Radix},
    {'u', 10, kDecimal, false, nullptr, Kind::Radix},
    {'x', 16, "0123456789abcdef", false, "0x", Kind::Radix},
    {'X', 16, "0123456789ABCDEF", false, "0X", Kind::Radix},
    {'r', 10, kDecimal, false, nullptr, Kind::Ordinal},
    {'f', 0, nullptr, true, nullptr, Kind::Float},
    {'e', 0, "e", true, nullptr, Kind::Exp},
    {'E', 0, "E", true, nullptr, Kind::Exp},
    {'g', 0, "e", true, nullptr, Kind::Generic},
    {'G', 0, "E", true, nullptr, Kind::Generic},
    {'i', 10, kDecimal, true, nullptr, Kind::Radix},
    {'n', 0, nullptr, false, nullptr, Kind::Size},
    {'%', 0, nullptr, false, nullptr, Kind::Percent},
    {'b', 2, "01", false, "0b", Kind::Radix},
    {'p', 10, kDecimal, false, nullptr, Kind::Radix},
    {'\'', 0, nullptr, false, nullptr, Kind::CharLit},
};

// How %q writes each byte: 0 as itself, 1 as a backslash and three octal
// digits, anything else as a backslash and that character.
const unsigned char NeedEsc[256] = {
    1, 1, 1, 1, 1, 1, 1, 1, 'b', 't', 'n', 1, 'f', 'r', 1, 1,      // 0x00
    1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,                // 0x10
    0, 0, '"', 0, '$', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,            // 0x20
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,                // 0x30
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,                // 0x40
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, '[', '\\', ']', 0, 0,         // 0x50
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,                // 0x60
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 1, 0, 1,                // 0x70
    1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,                // 0x80
    1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,                // 0x90
    1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,                // 0xA0
    1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,                // 0xB0
    1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,                // 0xC0
    1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,                // 0xD0
    1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,                // 0xE0
    1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,                // 0xF0
};

constexpr int kWorkSize = 1000;  // one conversion's text
constexpr int kMaxWidth = 990;
constexpr int kMaxPrecision = 960;
constexpr int kBlankChunk = 120;
const char kBlanks[] =
    "                                                            "
    "                                                            ";
static_assert(sizeof kBlanks == kBlankChunk + 1, "one chunk of blanks");

struct Flags {
  bool leftJustify = false;
  bool plusSign = false;
  bool blankSign = false;
  bool alternate = false;
  bool zeroPad = false;
  bool centre = false;
};

// The growing memory string of mprintf: text starts in the caller's base
// buffer and moves to a Tcl block once it outgrows it.
struct MemString {
  char *base;
  char *text;
  int count;
  int alloc;
};

const FormatInfo *FindConversion(char letter) {
  for (const FormatInfo &info : fmtinfo)
    if (info.letter == letter) return &info;
  return nullptr;
}

// Reads a run of decimal digits, saturating instead of overflowing; the
// callers clamp the value far below INT_MAX anyway.
int ReadNumber(const char *&fmt) {
  int value = 0;
  while (*fmt >= '0' && *fmt <= '9') {
    if (value < INT_MAX / 10) value = value * 10 + (*fmt - '0');
    ++fmt;
  }
  return value;
}

int Magnitude(int value) { return value == INT_MIN ? INT_MAX : (value < 0 ? -value : value); }

char SignFor(bool negative, const Flags &flags) {
  if (negative) return '-';
  if (flags.plusSign) return '+';
  if (flags.blankSign) return ' ';
  return 0;
}

// Builds the text of an integer conversion at the end of the work buffer;
// returns its first character and sets `length`.
char *FormatInteger(char *buf, int raw, const FormatInfo &info, Flags flags, int width,
                    int precision, int &length) {
  unsigned int value = static_cast<unsigned int>(raw);
  char sign = 0;
  if (info.isSigned) {
    if (raw < 0) value = 0u - value;
    sign = SignFor(raw < 0, flags);
  }
  if (value == 0 && info.base == 8) flags.alternate = false;
  if (flags.zeroPad) {
    int wanted = width - (sign ? 1 : 0);
    if (precision < wanted) precision = wanted;
  }
  char *end = buf + kWorkSize;
  char *p = end;
  if (info.kind == Kind::Ordinal) {
    unsigned int lastDigit = value % 10, lastTwo = value % 100;
    p -= 2;
    if (lastDigit == 0 || lastDigit > 3 || (lastTwo >= 11 && lastTwo <= 13)) {
      std::memcpy(p, "th", 2);
    } else {
      static const char *const kSuffix[] = {"st", "nd", "rd"};
      std::memcpy(p, kSuffix[lastDigit - 1], 2);
    }
  }
  char *digitsEnd = p;
  const unsigned int base = static_cast<unsigned int>(info.base);
  do {
    *--p = info.digits[value % base];
    value /= base;
  } while (value > 0);
  while (digitsEnd - p < precision) *--p = '0';
  if (sign) *--p = sign;
  if (flags.alternate && info.prefix && *p != info.prefix[0]) {
    int n = static_cast<int>(std::strlen(info.prefix));
    p -= n;
    std::memcpy(p, info.prefix, n);
  }
  length = static_cast<int>(end - p);
  return p;
}

// Takes the next digit of a value normalised into [0, 10).  A double holds
// about 16 significant digits; later ones would be noise, so they are zeros.
char NextDigit(double &value, int &significant) {
  if (significant >= 16) return '0';
  ++significant;
  int digit = static_cast<int>(value);
  value = (value - digit) * 10.0;
  return static_cast<char>('0' + digit);
}

// Writes a floating conversion into buf; returns its length.  Digits come
// from repeated scaling rather than the C library, so rounding is always
// half away from zero on the scaled value.
int FormatDouble(char *buf, double value, const FormatInfo &info, const Flags &flags,
                 int width, int precision) {
  if (precision < 0) precision = 6;
  if (precision > kMaxWidth) precision = kMaxWidth;
  if (std::isnan(value)) {
    std::memcpy(buf, "NaN", 3);
    return 3;
  }
  const bool negative = value < 0;
  if (negative) value = -value;
  const char sign = SignFor(negative, flags);
  Kind kind = info.kind;
  const bool generic = kind == Kind::Generic;
  if (generic && precision > 0) --precision;

  double rounder = 0.5;
  for (int i = precision; i > 0; --i) rounder *= 0.1;
  if (kind == Kind::Float) value += rounder;

  int exp = 0;
  if (value > 0) {
    int steps = 0;
    while (value >= 1e8 && steps < 100) { value /= 1e8; exp += 8; ++steps; }
    while (value >= 10.0 && steps < 100) { value /= 10.0; ++exp; ++steps; }
    while (value < 1e-8 && steps < 100) { value *= 1e8; exp -= 8; ++steps; }
    while (value < 1.0 && steps < 100) { value *= 10.0; --exp; ++steps; }
    if (steps >= 100) {  // only an infinity never settles
      std::memcpy(buf, "NaN", 3);
      return 3;
    }
  }

  if (kind != Kind::Float) {
    value += rounder;
    if (value >= 10.0) {
      value /= 10.0;
      ++exp;
    }
  }
  const bool stripZeros = generic && !flags.alternate;
  if (generic) {
    if (exp < -4 || exp > precision) {
      kind = Kind::Exp;
    } else {
      precision -= exp;
      kind = Kind::Float;
    }
  }

  char *p = buf;
  int significant = 0;
  const bool point = precision > 0 || flags.alternate;
  auto StripTrailingZeros = [&]() {
    if (!stripZeros || !point) return;
    while (p > buf && p[-1] == '0') --p;
    if (p > buf && p[-1] == '.') --p;
  };
  if (sign) *p++ = sign;
  if (kind == Kind::Float && precision + exp < 970) {
    if (exp < 0) {
      *p++ = '0';
    } else {
      for (int i = 0; i <= exp; ++i) *p++ = NextDigit(value, significant);
    }
    if (point) *p++ = '.';
    for (int lead = -exp - 1; lead > 0 && precision > 0; --lead, --precision) *p++ = '0';
    for (; precision > 0; --precision) *p++ = NextDigit(value, significant);
    StripTrailingZeros();
  } else {
    *p++ = NextDigit(value, significant);
    if (point) *p++ = '.';
    for (; precision > 0; --precision) *p++ = NextDigit(value, significant);
    StripTrailingZeros();
    if (exp != 0 || !generic) {
      *p++ = info.digits ? info.digits[0] : 'e';
      *p++ = exp < 0 ? '-' : '+';
      if (exp < 0) exp = -exp;
      if (exp >= 100) {
        *p++ = static_cast<char>('0' + exp / 100);
        exp %= 100;
      }
      *p++ = static_cast<char>('0' + exp / 10);
      *p++ = static_cast<char>('0' + exp % 10);
    }
  }

  int length = static_cast<int>(p - buf);
  if (flags.zeroPad && !flags.leftJustify && length < width) {
    const int pad = width - length;
    const int at = sign ? 1 : 0;
    std::memmove(buf + at + pad, buf + at, length - at);
    std::memset(buf + at, '0', pad);
    length = width;
  }
  return length;
}

int EscapedLength(const char *s) {
  int n = 0;
  for (; *s; ++s) {
    unsigned char e = NeedEsc[static_cast<unsigned char>(*s)];
    n += e == 0 ? 1 : (e == 1 ? 4 : 2);
  }
  return n;
}

void Escape(const char *s, char *out) {
  for (; *s; ++s) {
    unsigned char c = static_cast<unsigned char>(*s);
    unsigned char e = NeedEsc[c];
    if (e == 0) {
      *out++ = static_cast<char>(c);
    } else if (e == 1) {
      *out++ = '\\';
      *out++ = static_cast<char>('0' + ((c >> 6) & 3));
      *out++ = static_cast<char>('0' + ((c >> 3) & 7));
      *out++ = static_cast<char>('0' + (c & 7));
    } else {
      *out++ = '\\';
      *out++ = static_cast<char>(e);
    }
  }
}

void WriteBlanks(Et_Sink sink, void *arg, int n) {
  while (n > 0) {
    int chunk = n < kBlankChunk ? n : kBlankChunk;
    sink(arg, kBlanks, chunk);
    n -= chunk;
  }
}

// Writes one conversion's text padded to the field width.
int WriteField(Et_Sink sink, void *arg, const char *text, int length, int width,
               const Flags &flags) {
  int missing = width - length;
  if (missing <= 0) {
    if (length > 0) sink(arg, text, length);
    return length;
  }
  int left = flags.centre ? missing / 2 : (flags.leftJustify ? 0 : missing);
  WriteBlanks(sink, arg, left);
  if (length > 0) sink(arg, text, length);
  WriteBlanks(sink, arg, missing - left);
  return width;
}

void mout(void *arg, const char *text, int n) {
  MemString *m = static_cast<MemString *>(arg);
  if (m->count + n + 1 > m->alloc) {
    int size = m->count + 2 * n + 1;
    char *block;
    if (m->text == m->base) {
      block = Tcl_AttemptAlloc(static_cast<unsigned int>(size));
      if (block) std::memcpy(block, m->text, m->count);
    } else {
      block = Tcl_AttemptRealloc(m->text, static_cast<unsigned int>(size));
    }
    if (!block) return;
    m->text = block;
    m->alloc = size;
  }
  std::memcpy(m->text + m->count, text, n);
  m->count += n;
  m->text[m->count] = 0;
}

void dstringout(void *arg, const char *text, int n) {
  Tcl_DStringAppend(static_cast<Tcl_DString *>(arg), text, n);
}

void objout(void *arg, const char *text, int n) {
  Tcl_AppendToObj(static_cast<Tcl_Obj *>(arg), text, n);
}

int EvalFormatted(Tcl_Interp *interp, bool global, const char *format, va_list ap) {
  char *script = vmprintf(format, ap);
  if (Et_EvalTrace) std::printf("%s\n", script);
  int code = global ? Tcl_GlobalEval(interp, script) : Tcl_Eval(interp, script);
  if (Et_EvalTrace) std::printf("%d %s\n", code, Tcl_GetStringResult(interp));
  Tcl_Free(script);
  return code;
}

}  // namespace

int vxprintf(Et_Sink sink, void *arg, const char *format, va_list ap) {
  char buf[kWorkSize];
  int count = 0;
  const char *fmt = format;
  for (;;) {
    const char *run = fmt;
    while (*fmt && *fmt != '%') ++fmt;
    if (fmt > run) {
      sink(arg, run, static_cast<int>(fmt - run));
      count += static_cast<int>(fmt - run);
    }
    if (*fmt == 0) return count;
    if (*++fmt == 0) {
      sink(arg, "%", 1);
      return -1;
    }

    Flags flags;
    for (;; ++fmt) {
      if (*fmt == '-') flags.leftJustify = true;
      else if (*fmt == '+') flags.plusSign = true;
      else if (*fmt == ' ') flags.blankSign = true;
      else if (*fmt == '#') flags.alternate = true;
      else if (*fmt == '0') flags.zeroPad = true;
      else if (*fmt == '=') flags.centre = true;
      else break;
    }

    int width = 0;
    if (*fmt == '*') {
      width = va_arg(ap, int);
      if (width < 0) flags.leftJustify = true;
      width = Magnitude(width);
      ++fmt;
    } else {
      width = ReadNumber(fmt);
    }
    if (width > kMaxWidth) width = kMaxWidth;

    int precision = -1;
    if (*fmt == '.') {
      ++fmt;
      if (*fmt == '*') {
        precision = Magnitude(va_arg(ap, int));
        ++fmt;
      } else {
        precision = ReadNumber(fmt);
      }
      if (precision > kMaxPrecision) precision = kMaxPrecision;
    }
    if (*fmt == 'l') ++fmt;

    const FormatInfo *info = FindConversion(*fmt);
    if (!info) {
      // Unknown letter: echoed, no argument used.  A format that stops
      // inside a conversion echoes just the "%".
      sink(arg, "%", 1);
      ++count;
      if (*fmt == 0) return count;
      sink(arg, fmt, 1);
      ++count;
      ++fmt;
      continue;
    }

    const char *text = buf;
    int length = 0;
    char *release = nullptr;  // %z argument or the heap text of a long %q
    switch (info->kind) {
      case Kind::Radix:
      case Kind::Ordinal:
        text = FormatInteger(buf, va_arg(ap, int), *info, flags, width, precision, length);
        break;
      case Kind::Float:
      case Kind::Exp:
      case Kind::Generic:
        length = FormatDouble(buf, va_arg(ap, double), *info, flags, width, precision);
        break;
      case Kind::String:
      case Kind::DynString: {
        char *s = va_arg(ap, char *);
        if (info->kind == Kind::DynString) release = s;
        text = s ? s : "(null)";
        while ((precision < 0 || length < precision) && text[length]) ++length;
        break;
      }
      case Kind::Escaped: {
        const char *s = va_arg(ap, const char *);
        if (!s) s = "(NULL)";
        length = EscapedLength(s);
        char *out = buf;
        if (length + 1 > kWorkSize) {
          release = Tcl_Alloc(static_cast<unsigned int>(length + 1));
          out = release;
        }
        Escape(s, out);
        text = out;
        if (precision >= 0 && precision < length) length = precision;
        break;
      }
      case Kind::CharX:
      case Kind::CharLit: {
        char c;
        if (info->kind == Kind::CharX) {
          c = static_cast<char>(va_arg(ap, int));
        } else {
          if (fmt[1] == 0) return count;
          c = *++fmt;
        }
        length = precision >= 0 ? precision : 1;
        std::memset(buf, c, length);
        break;
      }
      case Kind::Size:
        *va_arg(ap, int *) = count;
        ++fmt;
        continue;
      case Kind::Percent:
        buf[0] = '%';
        length = 1;
        break;
    }
    count += WriteField(sink, arg, text, length, width, flags);
    if (release) Tcl_Free(release);
    ++fmt;
  }
}

char *vmprintf(const char *format, va_list ap) {
  char base[200];
  MemString m{base, base, 0, static_cast<int>(sizeof base)};
  base[0] = 0;
  vxprintf(mout, &m, format, ap);
  m.text[m.count] = 0;
  if (m.text == base) {
    char *block = Tcl_Alloc(static_cast<unsigned int>(m.count + 1));
    std::memcpy(block, base, m.count + 1);
    return block;
  }
  return Tcl_Realloc(m.text, static_cast<unsigned int>(m.count + 1));
}

char *mprintf(const char *format, ...) {
  va_list ap;
  va_start(ap, format);
  char *result = vmprintf(format, ap);
  va_end(ap);
  return result;
}

char *Et_DStringAppendF(Tcl_DString *str, const char *format, ...) {
  va_list ap;
  va_start(ap, format);
  vxprintf(dstringout, str, format, ap);
  va_end(ap);
  return Tcl_DStringValue(str);
}

void Et_ResultF(Tcl_Interp *interp, const char *format, ...) {
  Tcl_DString str;
  Tcl_DStringInit(&str);
  va_list ap;
  va_start(ap, format);
  vxprintf(dstringout, &str, format, ap);
  va_end(ap);
  Tcl_DStringResult(interp, &str);
}

int Et_AppendObjF(Tcl_Obj *obj, const char *format, ...) {
  va_list ap;
  va_start(ap, format);
  int count = vxprintf(objout, obj, format, ap);
  va_end(ap);
  return count;
}

int Et_EvalF(Tcl_Interp *interp, const char *format, ...) {
  va_list ap;
  va_start(ap, format);
  int code = EvalFormatted(interp, false, format, ap);
  va_end(ap);
  return code;
}

int Et_GlobalEvalF(Tcl_Interp *interp, const char *format, ...) {
  va_list ap;
  va_start(ap, format);
  int code = EvalFormatted(interp, true, format, ap);
  va_end(ap);
  return code;
}
