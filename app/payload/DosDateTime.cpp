#include "payload/DosDateTime.h"

#include "util/NumericValue.h"

namespace brindmar {

namespace {

constexpr int64_t kSecondsPerDay = 86400;

// Days since 1970-01-01 of a proleptic Gregorian date (the usual era-based formula).
int64_t daysFromCivil(int64_t year, unsigned month, unsigned day) {
    year -= month <= 2 ? 1 : 0;
    const int64_t era = (year >= 0 ? year : year - 399) / 400;
    const auto yearOfEra = static_cast<unsigned>(year - era * 400);
    const unsigned dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + static_cast<int64_t>(dayOfEra) - 719468;
}

struct CivilDate {
    int64_t year;
    unsigned month;
    unsigned day;
};

CivilDate civilFromDays(int64_t days) {
    days += 719468;
    const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const auto dayOfEra = static_cast<unsigned>(days - era * 146097);
    const unsigned yearOfEra =
        (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const unsigned dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const unsigned mp = (5 * dayOfYear + 2) / 153;
    const unsigned day = dayOfYear - (153 * mp + 2) / 5 + 1;
    const unsigned month = mp < 10 ? mp + 3 : mp - 9;
    const int64_t year = static_cast<int64_t>(yearOfEra) + era * 400 + (month <= 2 ? 1 : 0);
    return {year, month, day};
}

bool isLeapYear(int64_t year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

unsigned daysInMonth(int64_t year, unsigned month) {
    static constexpr unsigned kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && isLeapYear(year) ? 29 : kDays[month - 1];
}

void appendPadded(std::string& field, uint16_t word, size_t width) {
    field += std::to_string(static_cast<int16_t>(word));
    field.resize(width, ' ');
}

} // namespace

DosDateTime toDosDateTime(int64_t seconds) {
    const int64_t days = (seconds >= 0 ? seconds : seconds - (kSecondsPerDay - 1)) / kSecondsPerDay;
    const int64_t secondOfDay = seconds - days * kSecondsPerDay;
    const CivilDate date = civilFromDays(days);
    if (date.year < 1980 || date.year > 2107) {
        return {};
    }
    const auto hour = static_cast<unsigned>(secondOfDay / 3600);
    const auto minute = static_cast<unsigned>(secondOfDay / 60 % 60);
    const auto second = static_cast<unsigned>(secondOfDay % 60);
    DosDateTime result;
    result.date = static_cast<uint16_t>((static_cast<unsigned>(date.year - 1980) << 9) |
                                        (date.month << 5) | date.day);
    result.time = static_cast<uint16_t>((hour << 11) | (minute << 5) | (second / 2));
    return result;
}

std::optional<int64_t> fromDosDateTime(DosDateTime value) {
    const int64_t year = 1980 + (value.date >> 9);
    const unsigned month = (value.date >> 5) & 15u;
    const unsigned day = value.date & 31u;
    const unsigned hour = value.time >> 11;
    const unsigned minute = (value.time >> 5) & 63u;
    const unsigned second = (value.time & 31u) * 2;
    if (month < 1 || month > 12 || day < 1 || day > daysInMonth(year, month) || hour > 23 ||
        minute > 59 || second > 59) {
        return std::nullopt;
    }
    return daysFromCivil(year, month, day) * kSecondsPerDay + hour * 3600 + minute * 60 + second;
}

std::string formatDateField(DosDateTime creation, DosDateTime lastWrite) {
    std::string field;
    field.reserve(24);
    appendPadded(field, creation.date, 6);
    appendPadded(field, creation.time, 12);
    appendPadded(field, lastWrite.date, 18);
    appendPadded(field, lastWrite.time, 24);
    return field;
}

std::array<uint16_t, 4> parseDateField(std::string_view field) {
    std::array<uint16_t, 4> words{};
    for (size_t n = 0; n < words.size(); ++n) {
        const size_t start = n * 6;
        const std::string_view number =
            start < field.size() ? field.substr(start, 6) : std::string_view();
        words[n] = static_cast<uint16_t>(static_cast<uint64_t>(numericValue(number)) & 0xFFFFu);
    }
    return words;
}

} // namespace brindmar
