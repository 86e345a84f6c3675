// Whole numbers printed with a "," between groups of three digits.
#include "core/commas.h"

#include <cmath>
#include <cstring>

// The value is rounded to a whole number as "%.0f" rounds it. A value too large for the
// 32-character buffer (1e23 and above) or not finite is printed in exponent form instead.
void commasFormat(char *out, double value) {
    if (!out) return;
    if (!std::isfinite(value) || std::fabs(value) >= 1e23) {
        std::snprintf(out, 32, "%g", value);
        return;
    }
    char digits[32];
    std::snprintf(digits, sizeof digits, "%.0f", std::fabs(value));
    bool negative = value < 0 && std::strcmp(digits, "0") != 0;
    std::size_t length = std::strlen(digits);
    std::size_t at = 0;
    if (negative) out[at++] = '-';
    for (std::size_t i = 0; i < length; i++) {
        if (i > 0 && (length - i) % 3 == 0) out[at++] = ',';
        out[at++] = digits[i];
    }
    out[at] = '\0';
}

void Commas(FILE *file, double value) {
    char text[32];
    commasFormat(text, value);
    std::fprintf(file, "%s", text);
}
