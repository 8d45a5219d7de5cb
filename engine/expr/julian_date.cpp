#include "engine/expr/julian_date.h"

#include <cmath>
#include <cstdio>
#include <ctime>

#include "engine/expr/tgs_variant.h"

namespace abonex {

// Fliegel and Van Flandern's conversions between the Gregorian calendar and day numbers,
// valid for every year from 1 to 9999 with integer division rounding toward zero.
int julianDayFromCivil(const CivilDate& date) {
    const int y = date.year, m = date.month, d = date.day;
    const int a = (m - 14) / 12;
    return (1461 * (y + 4800 + a)) / 4 + (367 * (m - 2 - 12 * a)) / 12 -
           (3 * ((y + 4900 + a) / 100)) / 4 + d - 32075;
}

std::optional<CivilDate> civilFromJulianDay(double julianDay) {
    if (!(julianDay >= kFirstJulianDay && julianDay < kLastJulianDay + 1.0)) return std::nullopt;
    const long jd = static_cast<long>(julianDay);
    long l = jd + 68569;
    const long n = (4 * l) / 146097;
    l = l - (146097 * n + 3) / 4;
    const long i = (4000 * (l + 1)) / 1461001;
    l = l - (1461 * i) / 4 + 31;
    const long j = (80 * l) / 2447;
    const long day = l - (2447 * j) / 80;
    l = j / 11;
    const long month = j + 2 - 12 * l;
    const long year = 100 * (n - 49) + i + l;
    return CivilDate{static_cast<int>(year), static_cast<int>(month), static_cast<int>(day)};
}

double dateFromText(std::string_view text) {
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    if (text.empty() || text == "00000000") return 0.0;
    bool eightDigits = text.size() == 8;
    for (char ch : text) eightDigits = eightDigits && ch >= '0' && ch <= '9';
    std::optional<CivilDate> date;
    if (eightDigits) {
        auto digits = [&](size_t from, size_t count) {
            int value = 0;
            for (size_t k = from; k < from + count; ++k) value = value * 10 + (text[k] - '0');
            return value;
        };
        CivilDate d{digits(0, 4), digits(4, 2), digits(6, 2)};
        if (isValidCivilDate(d)) date = d;
    } else {
        date = parseShortDate(text);
    }
    return date ? julianDayFromCivil(*date) : 0.0;
}

std::string dateToDtos(double julianDay) {
    auto date = civilFromJulianDay(julianDay);
    if (!date) return std::string(8, ' ');
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%04d%02d%02d", date->year, date->month, date->day);
    return buffer;
}

std::string dateToShortText(double julianDay) {
    auto date = civilFromJulianDay(julianDay);
    if (!date) return std::string(kShortDateFormat.size(), ' ');
    return formatShortDate(*date);
}

int julianToday() {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return julianDayFromCivil(CivilDate{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday});
}

}  // namespace abonex
