// Fuzz target for the date readers and writers. The input is a template and a text
// separated by the first NUL byte. The text is read as a typed date (parseDate) and as
// an IIS date with the template (parseFormattedDate); the template also serves as the
// printed date template. A day number that a date gave back converts to a date and
// back to the same number; printing never writes past the template's length.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "config/global.h"
#include "core/commas.h"
#include "core/dates.h"
#include "log/log.h"

namespace {

// Day numbers up to the year 99999 are checked; later ones are only converted (their
// conversions saturate near the limits of a day number).
void roundTrip(int day) {
    if (day < 0) return;
    int month = 0, dayOfMonth = 0, year = 0;
    dayToDate(day, &month, &dayOfMonth, &year);
    if (day >= dateToDay(1, 1, 100000)) return;
    if (month < 1 || month > 12 || dayOfMonth < 1 || dayOfMonth > 31) std::abort();
    if (dateToDay(month, dayOfMonth, year) != day) std::abort();
    int length = monthLength(day);
    if (length < 28 || length > 31) std::abort();
    int next = day;
    advanceMonth(&next);
    if (next <= day || next - day > 31) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    nowBreakdown.tm_year = 2025 - 1900;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    const char *bytes = reinterpret_cast<const char *>(data);
    const char *separator = static_cast<const char *>(std::memchr(bytes, '\0', size));
    std::size_t templateSize = separator ? static_cast<std::size_t>(separator - bytes) : size;
    std::vector<char> format(bytes, bytes + templateSize);
    format.push_back('\0');
    std::vector<char> text;
    if (separator) text.assign(separator + 1, bytes + size);
    text.push_back('\0');

    // A date before 1971 gives a negative number, which names no day to convert.
    int day = parseDate(text.data(), nowBreakdown.tm_year + 1900);
    roundTrip(day);

    msDateFormat = format.data();
    int month = -1, dayOfMonth = -1, year = -1;
    if (parseFormattedDate(text.data(), &month, &dayOfMonth, &year)) {
        if (month < 0 || dayOfMonth < 0 || year < 0) std::abort();
        if (month >= 1 && month <= 12) roundTrip(dateToDay(month, dayOfMonth, year));
    } else if (month != -1 || dayOfMonth != -1 || year != -1) {
        std::abort();  // outputs changed although no date was read
    }
    msDateFormat = nullptr;

    // The printed template: exactly the template's length, whatever the day number.
    int number = 0;
    std::memcpy(&number, data, size < sizeof number ? size : sizeof number);
    std::vector<char> printed(templateSize + 1);
    formatDate(printed.data(), printed.size(), number, format.data());
    if (std::strlen(printed.data()) > std::strlen(format.data())) std::abort();
    formatDate(printed.data(), printed.size(), day, format.data());
    static FILE *sink = std::fopen("/dev/null", "w");
    if (sink) printDate(sink, number, format.data());
    roundTrip(number);

    double value = 0;
    std::memcpy(&value, data, size < sizeof value ? size : sizeof value);
    char commas[32];
    commasFormat(commas, value);
    if (!std::memchr(commas, '\0', sizeof commas)) std::abort();
    return 0;
}
